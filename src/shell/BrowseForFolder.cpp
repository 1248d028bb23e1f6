#include "shell/BrowseForFolder.h"

#include "i18n/Translation.h"
#include "support/PathText.h"

#include <QFile>
#include <QFileDialog>

namespace quorvex {

QUrl ChooseFolderWithDialog(QWidget* parent, const QString& title, const QUrl& initialFolder) {
    return QFileDialog::getExistingDirectoryUrl(parent, title, initialFolder, QFileDialog::ShowDirsOnly);
}

bool BrowseForFolder(QWidget* parent, const std::string& title, const std::string& initialDirectory,
                     std::string& path, const FolderDialog& dialog) {
    path.clear();
    const QString initial = DecodePath(initialDirectory);
    // Starting at the top of the file system when there is nothing better to preselect.
    const QUrl start = QUrl::fromLocalFile(initial.isEmpty() ? QStringLiteral("/") : initial);
    const QUrl chosen = dialog(parent, QString::fromStdString(title), start);
    if (chosen.isEmpty())
        return false;
    if (!chosen.isLocalFile() || chosen.toLocalFile().isEmpty())
        throw BrowseForFolderException(TranslateText(
            "Your choice is not a valid folder or the file system path could not be obtained."));
    path = EncodePath(chosen.toLocalFile());
    return true;
}

} // namespace quorvex
