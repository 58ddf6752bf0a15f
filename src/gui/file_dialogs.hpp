#pragma once

// The program's save dialogs: a Russian title, and a name typed without an
// extension completed by the one of the file kind, so that the overwrite
// question and the file written concern the same name.

#include <QString>

#include <functional>

class QWidget;

namespace relan::gui {

// `path` with "." + `suffix` appended when its file name has no dot at all,
// the rule of the dialog itself: "a" becomes "a.png", while "a.PNG",
// "a.tar", ".hidden" and "a." are kept as the user typed them (a name with
// a dot was given its extension on purpose). An empty path, or one naming
// a folder ("dir/"), is returned as it is.
QString withDefaultSuffix(const QString& path, const QString& suffix);

// Where a save dialog starts: `lastOfKind`, the folder of the last file of
// its kind written, while it is a folder; else the folder of `dataFile`, the
// failure data loaded; else the home folder.
QString saveDialogFolder(const QString& lastOfKind, const QString& dataFile);

// The folder a save dialog of a kind ("png", "pdf", "csv") starts in this run
// of the program: saveDialogFolder of the last file of that kind written and
// of the data file loaded last.
QString lastFolderOf(const QString& kind);
void rememberFolderOf(const QString& kind, const QString& file);
// The failure-data file the windows show, whose folder the save dialogs
// offer before a file of their kind has been written.
void rememberDataFile(const QString& file);

// Asks for a file to write, starting at `startPath` (a folder, or a file
// offered by name). Empty when cancelled. With a `defaultSuffix` the answer
// has gone through withDefaultSuffix.
QString askSaveFile(QWidget* parent, const QString& title, const QString& startPath, const QString& filter,
                    const QString& defaultSuffix = {});

// "Сохранить как…" of a file of `kind`, which is also its extension: asks
// for the file, offering `name` in the folder of the last file of that kind,
// and hands it to `save`, which says whether it was written; only then is
// its folder remembered.
void saveAsInteractively(QWidget* parent, const QString& title, const QString& name, const QString& filter,
                         const QString& kind, const std::function<bool(const QString&)>& save);

} // namespace relan::gui
