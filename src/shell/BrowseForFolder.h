#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <stdexcept>
#include <string>

class QWidget;

namespace quorvex {

// The chosen folder has no local file-system path (a network location offered by the portal, say).
class BrowseForFolderException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Asks for a folder; an empty URL means the user cancelled. Tests replace the dialog with this.
using FolderDialog = std::function<QUrl(QWidget* parent, const QString& title, const QUrl& initialFolder)>;

// The platform's folder chooser (QFileDialog::getExistingDirectoryUrl).
QUrl ChooseFolderWithDialog(QWidget* parent, const QString& title, const QUrl& initialFolder);

// False when the user cancelled; true with `path` set to the chosen folder's path as bytes. Raises
// BrowseForFolderException when the choice has no local path.
bool BrowseForFolder(QWidget* parent, const std::string& title, const std::string& initialDirectory,
                     std::string& path, const FolderDialog& dialog = ChooseFolderWithDialog);

} // namespace quorvex
