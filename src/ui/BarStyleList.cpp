#include "ui/BarStyleList.h"

#include "diag/QxLogger.h"
#include "paint/QxBarChartPainter.h"

#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <exception>

namespace quorvex {

TBarStyleItemDelegate::TBarStyleItemDelegate(const TQxBarChartPainterRegistry& registry, QObject* parent)
    : QStyledItemDelegate(parent), registry_(registry) {}

void TBarStyleItemDelegate::PaintEntry(QPainter& painter, const QRect& rect, const QString& text,
                                       bool selected, const QPalette& palette) const {
    const TQxBarChartPainterClass* painterClass = registry_.FindByPainterName(text);
    if (painterClass == nullptr)
        return;
    const std::unique_ptr<TQxBarChartPainter> barPainter = painterClass->Create();
    painter.save();
    painter.fillRect(rect, palette.color(selected ? QPalette::Highlight : QPalette::Base));
    try {
        if (selected)
            barPainter->PaintSelected(painter, rect, text, 1.0);
        else
            barPainter->Paint(painter, rect, text, 1.0);
    } catch (const std::exception& error) {
        // One entry that cannot be drawn must not take the list with it.
        ProgramLogger().error(error.what());
    }
    painter.restore();
}

void TBarStyleItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    PaintEntry(*painter, option.rect, index.data(Qt::DisplayRole).toString(),
               option.state.testFlag(QStyle::State_Selected), option.palette);
}

QSize TBarStyleItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return {QStyledItemDelegate::sizeHint(option, index).width(), kItemHeight};
}

TBarStyleComboBox::TBarStyleComboBox(const TQxBarChartPainterRegistry& registry, QWidget* parent)
    : QComboBox(parent), delegate_(new TBarStyleItemDelegate(registry, this)) {
    setItemDelegate(delegate_);
}

void TBarStyleComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear(); // the bar carries the name
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (currentIndex() < 0)
        return;
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    delegate_->PaintEntry(painter, field, currentText(), hasFocus(), palette());
}

} // namespace quorvex
