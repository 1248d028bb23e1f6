// The cells of the tree model: texts, fonts, colours and the numbers the percentage painter needs.

#include "i18n/Translation.h"
#include "i18n/TranslationMarkers.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "support/PosixDir.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeModelRows.h"

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>

namespace quorvex {

QVariant TNodeTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.model() != this)
        return {};
    const TFileSystemNode* node = NodeAt(index);
    const int column = index.column();
    const bool failed = node != nullptr && node->ErrorCode() != 0;
    const bool unknown = failed || WasNotScanned(node);

    switch (role) {
    case Qt::DisplayRole:
        if (node == nullptr)
            return column == colName
                       ? QString::fromStdString(TranslateText("Choose a drive or directory to analyse"))
                       : QString();
        switch (column) {
        case colName:
            // A file group is named when the scan makes it; its row speaks the current language.
            if (!flat_ && node->GetNodeType() == ntFileGroup)
                return QString::fromStdString(TranslateText(kFileGroupName));
            return DecodePath(flat_ ? GetFullPath(node) : node->GetDisplayName());
        case colSize:
            return unknown ? QString()
                           : QString::fromStdString(
                                 sizeFormatter_(node->GetSize(sizeKind_), LocaleDecimalSeparator()));
        case colFiles:
            return unknown ? QString() : QString::fromStdString(FormatCount(node->GetFileCount()));
        default:
            return QString();
        }
    case Qt::TextAlignmentRole:
        if (column == colSize)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        if (column == colPercent)
            return QVariant::fromValue(Qt::AlignCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::FontRole:
        if (node == nullptr || (column == colName && node->GetNodeType() == ntFileGroup)) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return {};
    case Qt::ForegroundRole:
        if (node == nullptr)
            return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        // A name that adds nothing to the totals says so, in the colour of what is not there.
        if ((node->Attributes() & kCountedAtAnotherName) != 0)
            return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        if (column == colName && node->IsCompressed())
            return QBrush(QColor(0, 0, 255));
        return {};
    case Qt::ToolTipRole:
        if (node != nullptr && (node->Attributes() & kCountedAtAnotherName) != 0)
            return QString::fromStdString(TranslateText("Hard link: counted at another name"));
        return {};
    case Qt::DecorationRole:
        if ((column == colName || column == colSize) && node != nullptr && iconSource_) {
            const QIcon icon = iconSource_(node, column);
            return icon.isNull() ? QVariant() : QVariant(icon);
        }
        return {};
    case StaticTextRole:
        if (column != colName || node == nullptr)
            return {};
        if (failed)
            return QString::fromLocal8Bit(SystemErrorMessage(node->ErrorCode()));
        if (unknown)
            return QString::fromStdString(TranslateText("not scanned"));
        if (const auto* rootDir = dynamic_cast<const TRootDirNode*>(node);
            rootDir != nullptr && rootDir->GetNodeType() == ntDrive)
            return QString::fromStdString(sizeFormatter_(rootDir->FreeSpace(), LocaleDecimalSeparator()) +
                                          " " + TranslateText("free"));
        return {};
    case StaticColorRole:
        return failed ? QColor(Qt::red) : QColor(128, 128, 128);
    case StaticItalicRole:
        return unknown;
    case HasErrorRole:
        return failed;
    case SpansRowRole:
        return node == nullptr || unknown;
    case SizeRole:
        return node == nullptr ? QVariant() : QVariant::fromValue<qlonglong>(node->GetSize(sizeKind_));
    case ParentSizeRole:
        if (node == nullptr || node->Parent() == nullptr || node->Parent() == root_)
            return QVariant::fromValue<qlonglong>(-1);
        return QVariant::fromValue<qlonglong>(node->Parent()->GetSize(sizeKind_));
    case RootSizeRole:
        return QVariant::fromValue<qlonglong>(root_ == nullptr ? -1 : root_->GetSize(sizeKind_));
    default:
        return {};
    }
}

QVariant TNodeTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return {};
    if (role == Qt::DisplayRole) {
        static const char* const kHeadings[kColumnCount] = {N_("Name"), N_("Size"), N_("Percentage"),
                                                            N_("Files")};
        return QString::fromStdString(TranslateText(kHeadings[section]));
    }
    // A click on another column keeps the direction; QHeaderView asks this before it sorts.
    if (role == Qt::InitialSortOrderRole)
        return QVariant::fromValue(static_cast<int>(sortOrder_));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(section == colSize ? Qt::AlignRight | Qt::AlignVCenter
                                                      : Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags TNodeTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (flat_ || dynamic_cast<const TGroupNode*>(NodeAt(index)) == nullptr)
        result |= Qt::ItemNeverHasChildren;
    return result;
}

} // namespace quorvex
