#pragma once

#include <QComboBox>
#include <QStyledItemDelegate>

namespace quorvex {

class TQxBarChartPainterRegistry;

// Draws a bar-style entry as its style's own full bar with the style's name on it, through a painter
// of that style; an entry that names no registered style is left blank.
class TBarStyleItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kItemHeight = 16;

    explicit TBarStyleItemDelegate(const TQxBarChartPainterRegistry& registry, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The drawing of one entry, also used for the closed list's own field.
    void PaintEntry(QPainter& painter, const QRect& rect, const QString& text, bool selected,
                    const QPalette& palette) const;

private:
    const TQxBarChartPainterRegistry& registry_;
};

// The drop-down list of bar styles: its entries and its closed field show the sample bars.
class TBarStyleComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TBarStyleComboBox(const TQxBarChartPainterRegistry& registry, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TBarStyleItemDelegate* delegate_;
};

} // namespace quorvex
