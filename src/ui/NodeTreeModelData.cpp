// The cells of the tree model: texts, fonts, colours and the numbers the percentage painter needs.

#include "i18n/Translation.h"
#include "i18n/TranslationMarkers.h"
#include "model/RootNodes.h"
#include "model/TreeComparison.h"
#include "model/TreeOperations.h"
#include "support/PosixDir.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeModelRows.h"

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>

namespace quorvex {
namespace {

const QColor kGrowthColour(176, 0, 0);
const QColor kShrinkColour(0, 128, 0);

std::string Signed(std::int64_t value, const std::string& magnitude) {
    return (value > 0 ? "+" : "-") + magnitude;
}

} // namespace

// The cells and marks of a row while a comparison is shown; an invalid variant leaves the role to
// the plain tree.
QVariant TNodeTreeModel::ChangeData(const TFileSystemNode* node, int column, int role) const {
    if (comparison_ == nullptr || node == nullptr)
        return {};
    // Every cell asks for every role as it paints: the change is looked up only for those it affects.
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ForegroundRole:
    case Qt::FontRole:
    case Qt::ToolTipRole:
    case StaticTextRole:
    case StaticColorRole:
    case StaticItalicRole:
    case SpansRowRole:
    case HasErrorRole:
    case SizeRole:
        break;
    default:
        return {};
    }
    const TNodeChange change = comparison_->ChangeOf(node);
    const bool ghost = change.State == TRowChange::Gone; // only a ghost is gone
    switch (role) {
    case Qt::DisplayRole:
        if (column == colSizeChange)
            return change.DeltaSize == 0
                       ? QString()
                       : QString::fromStdString(
                             Signed(change.DeltaSize,
                                    sizeFormatter_(std::abs(change.DeltaSize), LocaleDecimalSeparator())));
        if (column == colFilesChange)
            return change.DeltaFiles == 0 ? QString()
                                          : QString::fromStdString(Signed(
                                                change.DeltaFiles, FormatCount(std::abs(change.DeltaFiles))));
        if (ghost && (column == colSize || column == colFiles))
            return QString();
        return {};
    case Qt::ForegroundRole:
        if (ghost)
            return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        if (column == colSizeChange || column == colFilesChange) {
            const std::int64_t delta = column == colSizeChange ? change.DeltaSize : change.DeltaFiles;
            if (delta != 0)
                return QBrush(delta > 0 ? kGrowthColour : kShrinkColour);
        }
        return {};
    case Qt::FontRole:
        if (ghost) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return {};
    case Qt::ToolTipRole:
        if (ghost)
            return QString::fromStdString(TranslateText("Gone since the earlier scan: %1"))
                .arg(DecodePath(GetFullPath(node)));
        if (change.State == TRowChange::Moved)
            return QString::fromStdString(TranslateText("Moved from %1"))
                .arg(DecodePath(comparison_->MovedFrom(node)));
        return {};
    case StaticTextRole:
        if (column != colName)
            return {};
        if (change.State == TRowChange::New)
            return QString::fromStdString(TranslateText("new"));
        if (ghost)
            return QString::fromStdString(TranslateText("gone"));
        if (change.State == TRowChange::Moved)
            return QString::fromStdString(TranslateText("moved from %1"))
                .arg(DecodePath(comparison_->MovedFrom(node)));
        return {};
    case StaticColorRole:
        if (change.State == TRowChange::New)
            return kGrowthColour;
        if (ghost)
            return kShrinkColour;
        return {};
    case StaticItalicRole:
        return ghost ? QVariant(true) : QVariant();
    case SpansRowRole:
    case HasErrorRole:
        return ghost ? QVariant(false) : QVariant();
    case SizeRole:
        return ghost ? QVariant::fromValue<qlonglong>(0) : QVariant();
    default:
        return {};
    }
}

QVariant TNodeTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.model() != this)
        return {};
    const TFileSystemNode* node = NodeAt(index);
    const int column = index.column();
    if (QVariant changed = ChangeData(node, column, role); changed.isValid())
        return changed;
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
        if (column == colSize || column == colSizeChange || column == colFilesChange)
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
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount())
        return {};
    if (role == Qt::DisplayRole) {
        static const char* const kHeadings[kComparedColumnCount] = {
            N_("Name"), N_("Size"), N_("Percentage"), N_("Files"), N_("Size change"), N_("Files change")};
        return QString::fromStdString(TranslateText(kHeadings[section]));
    }
    // A click on another column keeps the direction; QHeaderView asks this before it sorts.
    if (role == Qt::InitialSortOrderRole)
        return QVariant::fromValue(static_cast<int>(sortOrder_));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(section == colSize || section == colSizeChange || section == colFilesChange
                                       ? Qt::AlignRight | Qt::AlignVCenter
                                       : Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags TNodeTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (flat_ || dynamic_cast<const TGroupNode*>(NodeAt(index)) == nullptr || IsGhost(NodeAt(index)))
        result |= Qt::ItemNeverHasChildren;
    return result;
}

} // namespace quorvex
