#pragma once

#include "paint/PercentCell.h"

#include <QStyledItemDelegate>

namespace quorvex {

// A delegate whose bar cells draw their background and selection as the style does, with no text:
// the bar painter draws the text over its bar.
class TBarCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    // Draws the cell's background and selection; returns the option the bar is painted with.
    QStyleOptionViewItem PaintCellBackground(QPainter* painter, const QStyleOptionViewItem& option,
                                             const QModelIndex& index) const;
};

// Draws the tree's cells: the name column adds the static text (an error message, a drive's free
// space) after the name in its own style; the percentage column is drawn by the bar painters.
class TNodeItemDelegate : public TBarCellDelegate {
    Q_OBJECT
public:
    explicit TNodeItemDelegate(QObject* parent = nullptr);

    // The painters are owned by the window and must outlive every paint that follows.
    void SetPainters(const TPercentCellPainters& painters, bool drawChildBars);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

protected:
    // The spinning frame of a folder being scanned gives way when the size cell cannot hold both:
    // the size is what the user reads.
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    void PaintPercent(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    void PaintStaticText(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const;

    TPercentCellPainters painters_;
    bool drawChildBars_ = true;
};

} // namespace quorvex
