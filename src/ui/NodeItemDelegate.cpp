#include "ui/NodeItemDelegate.h"

#include "model/FileSystemNode.h"
#include "ui/NodeTreeModel.h"

#include <QApplication>
#include <QPainter>

namespace quorvex {

TNodeItemDelegate::TNodeItemDelegate(QObject* parent) : TBarCellDelegate(parent) {}

void TNodeItemDelegate::SetPainters(const TPercentCellPainters& painters, bool drawChildBars) {
    painters_ = painters;
    drawChildBars_ = drawChildBars;
}

void TNodeItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    if (index.column() == TNodeTreeModel::colPercent) {
        PaintPercent(painter, option, index);
        return;
    }
    QStyledItemDelegate::paint(painter, option, index);
    if (index.column() == TNodeTreeModel::colName)
        PaintStaticText(painter, option, index);
}

void TNodeItemDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() != TNodeTreeModel::colSize ||
        (option->features & QStyleOptionViewItem::HasDecoration) == 0)
        return;
    const QStyle* style = option->widget != nullptr ? option->widget->style() : QApplication::style();
    // The style pads the text and the icon on both sides by this much.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option->widget) + 1;
    const int needed =
        option->fontMetrics.horizontalAdvance(option->text) + option->decorationSize.width() + 4 * margin;
    if (needed > option->rect.width()) {
        option->features &= ~QStyleOptionViewItem::HasDecoration;
        option->icon = QIcon();
    }
}

QStyleOptionViewItem TBarCellDelegate::PaintCellBackground(QPainter* painter,
                                                           const QStyleOptionViewItem& option,
                                                           const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget); // background and selection
    return opt;
}

void TNodeItemDelegate::PaintPercent(QPainter* painter, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    const QStyleOptionViewItem opt = PaintCellBackground(painter, option, index);

    const auto* model = qobject_cast<const TNodeTreeModel*>(index.model());
    const TFileSystemNode* node = model != nullptr ? model->NodeAt(index) : nullptr;
    // A row gone since an earlier scan has no share of the tree now.
    if (node == nullptr || painters_.BarPainter == nullptr || painters_.ChildBarPainter == nullptr ||
        model->IsGhost(node))
        return;
    painter->save();
    painter->setFont(opt.font);
    PaintPercentCell(*painter, option.rect, *node, model->Root(),
                     (option.state & QStyle::State_Selected) != 0, painters_, drawChildBars_, QLocale(),
                     model->SizeKind());
    painter->restore();
}

void TNodeItemDelegate::PaintStaticText(QPainter* painter, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    const QString text = index.data(TNodeTreeModel::StaticTextRole).toString();
    if (text.isEmpty())
        return;
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    const int used = opt.fontMetrics.horizontalAdvance(opt.text + QLatin1Char(' ')) + 4;
    QRect rect = textRect;
    rect.setLeft(textRect.left() + used);
    if (rect.width() <= 0)
        return;

    QFont font = opt.font;
    font.setItalic(index.data(TNodeTreeModel::StaticItalicRole).toBool());
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const QColor color = selected ? opt.palette.color(QPalette::HighlightedText)
                                  : index.data(TNodeTreeModel::StaticColorRole).value<QColor>();
    painter->save();
    painter->setClipRect(option.rect);
    painter->setFont(font);
    painter->setPen(color);
    const QString shown = QFontMetrics(font).elidedText(text, Qt::ElideRight, rect.width());
    painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    painter->restore();
}

} // namespace quorvex
