#include "shell/BrowseForFolder.h"

#include "i18n/Translation.h"
#include "shell/DialogPaths.h"

#include <QFile>
#include <QFileDialog>

namespace quorvex {

QUrl ChooseFolderWithDialog(QWidget* parent, const QString& title, const QUrl& initialFolder) {
    return QFileDialog::getExistingDirectoryUrl(parent, title, initialFolder, QFileDialog::ShowDirsOnly);
}

bool BrowseForFolder(QWidget* parent, const std::string& title, const std::string& initialDirectory,
                     std::string& path, const FolderDialog& dialog) {
    path.clear();
    // The start folder travels as percent-encoded bytes, so a name that is not UTF-8 is preselected
    // as it is on disk; the top of the file system when there is nothing better.
    const QUrl start = LocalFileUrl(initialDirectory.empty() ? "/" : initialDirectory);
    const QUrl chosen = dialog(parent, QString::fromStdString(title), start);
    if (chosen.isEmpty())
        return false;
    if (!chosen.isLocalFile() || chosen.toLocalFile().isEmpty())
        throw BrowseForFolderException(TranslateText(
            "Your choice is not a valid folder or the file system path could not be obtained."));
    path = LocalPathOfUrl(chosen);
    return true;
}

} // namespace quorvex
