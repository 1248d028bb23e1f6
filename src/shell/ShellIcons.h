#pragma once

#include <QIcon>

namespace quorvex {

class TFileSystemNode;

// Row icons until the desktop's file-type icons are served by the icon thread: the generic folder,
// file and drive icons of the current style. Create and use on the user-interface thread.
class TShellIcons {
public:
    TShellIcons();
    QIcon IconFor(const TFileSystemNode* node) const;

private:
    QIcon folder_;
    QIcon file_;
    QIcon drive_;
    QIcon computer_;
};

} // namespace quorvex
