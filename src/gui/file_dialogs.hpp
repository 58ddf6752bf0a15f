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

// The folder of the last file of a kind ("png", "pdf") written in this run
// of the program, where the next dialog of that kind starts; the home folder
// before the first.
QString lastFolderOf(const QString& kind);
void rememberFolderOf(const QString& kind, const QString& file);

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
