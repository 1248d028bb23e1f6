#include "shell/ShellIcons.h"

#include "model/FileSystemNode.h"

#include <QApplication>
#include <QStyle>

namespace quorvex {

TShellIcons::TShellIcons() {
    const QStyle* style = QApplication::style();
    folder_ = style->standardIcon(QStyle::SP_DirIcon);
    file_ = style->standardIcon(QStyle::SP_FileIcon);
    drive_ = style->standardIcon(QStyle::SP_DriveHDIcon);
    computer_ = style->standardIcon(QStyle::SP_ComputerIcon);
}

QIcon TShellIcons::IconFor(const TFileSystemNode* node) const {
    if (node == nullptr)
        return {};
    switch (node->GetNodeType()) {
    case ntFixedDrives:
        return computer_;
    case ntDrive:
        return drive_;
    case ntFile:
        return file_;
    default:
        return folder_;
    }
}

} // namespace quorvex
