#include "ui/ApplicationIcon.h"

#include <QDir>

namespace quorvex {

QIcon ApplicationIcon() {
    QIcon icon;
    // One file per size, so small sizes use their own render instead of a scaled-down large one.
    const QDir renders(QStringLiteral(":/appicon"));
    for (const QString& name : renders.entryList(QDir::Files))
        icon.addFile(renders.filePath(name));
    return icon;
}

} // namespace quorvex
