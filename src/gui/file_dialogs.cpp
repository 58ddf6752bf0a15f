#include "file_dialogs.hpp"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>

namespace relan::gui {

QString withDefaultSuffix(const QString& path, const QString& suffix) {
    if (path.isEmpty() || suffix.isEmpty()) return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    if (name.isEmpty() || name.contains(QLatin1Char('.'))) return path;
    return path + QLatin1Char('.') + suffix;
}

QString askSaveFile(QWidget* parent, const QString& title, const QString& startPath, const QString& filter,
                    const QString& defaultSuffix) {
    QFileDialog dialog(parent, title, {}, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The dialog completes the name before its own overwrite question.
    if (!defaultSuffix.isEmpty()) dialog.setDefaultSuffix(defaultSuffix);
    const QFileInfo start(startPath);
    if (start.isDir()) {
        dialog.setDirectory(start.absoluteFilePath());
    } else {
        dialog.setDirectory(start.absolutePath());
        dialog.selectFile(start.fileName());
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return {};
    // A native dialog may hand back the name as typed.
    return withDefaultSuffix(chosen.front(), defaultSuffix);
}

namespace {
QHash<QString, QString>& folders() {
    static QHash<QString, QString> f;
    return f;
}
QString& dataFile() {
    static QString f;
    return f;
}
} // namespace

QString saveDialogFolder(const QString& lastOfKind, const QString& dataFile) {
    // A folder removed since is no place to start in.
    if (!lastOfKind.isEmpty() && QFileInfo(lastOfKind).isDir()) return lastOfKind;
    if (!dataFile.isEmpty()) {
        const QFileInfo data(dataFile);
        if (QFileInfo(data.absolutePath()).isDir()) return data.absolutePath();
    }
    return QDir::homePath();
}

QString lastFolderOf(const QString& kind) {
    return saveDialogFolder(folders().value(kind), dataFile());
}

void rememberDataFile(const QString& file) {
    dataFile() = QFileInfo(file).absoluteFilePath();
}

void rememberFolderOf(const QString& kind, const QString& file) {
    folders().insert(kind, QFileInfo(file).absolutePath());
}

void saveAsInteractively(QWidget* parent, const QString& title, const QString& name, const QString& filter,
                         const QString& kind, const std::function<bool(const QString&)>& save) {
    const QString path = askSaveFile(parent, title, QDir(lastFolderOf(kind)).filePath(name), filter, kind);
    if (!path.isEmpty() && save(path)) rememberFolderOf(kind, path);
}

} // namespace relan::gui
