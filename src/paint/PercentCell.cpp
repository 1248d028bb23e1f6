#include "paint/PercentCell.h"

#include "model/FileSystemNode.h"

#include <cstdint>

namespace quorvex {

std::unique_ptr<TQuorvexOneBarChartPainter> MakeChildBarPainter() {
    return std::make_unique<TQuorvexOneBarChartPainter>(RGBToColor(215, 215, 215), RGBToColor(247, 247, 247));
}

QString FormatPercentText(long double fraction, const QLocale& locale) {
    const long double percentage = static_cast<long double>(RoundHalfEven(100.0L * fraction / 0.1L)) * 0.1L;
    QString text = QString::number(static_cast<double>(percentage), 'g', 15);
    text.replace(QLatin1Char('.'), locale.decimalPoint());
    return text + QLatin1Char('%');
}

namespace {

void PaintBar(TQxBarChartPainter& painter, QPainter& canvas, const QRect& rect, const QString& text,
              double fraction, bool selected) {
    if (selected)
        painter.PaintSelected(canvas, rect, text, fraction);
    else
        painter.Paint(canvas, rect, text, fraction);
}

long double Share(std::int64_t part, std::int64_t whole) {
    return static_cast<long double>(part) / static_cast<long double>(whole);
}

} // namespace

void PaintPercentCell(QPainter& canvas, const QRect& cellRect, const TFileSystemNode& node,
                      const TFileSystemNode* root, bool selected, const TPercentCellPainters& painters,
                      bool drawChildBars, const QLocale& locale, TSizeKind kind) {
    // Without a positive total there is no share to show, of the root or of a parent.
    if (root == nullptr)
        return;
    const std::int64_t rootSize = root->GetSize(kind);
    if (rootSize <= 0)
        return;
    const QRect rect = cellRect.adjusted(1, 1, -1, -1);
    const std::int64_t size = node.GetSize(kind);
    const TFileSystemNode* parent = node.Parent();
    if (drawChildBars && painters.ChildBarPainter != nullptr && parent != nullptr && parent != root) {
        const std::int64_t parentSize = parent->GetSize(kind);
        if (parentSize > 0)
            PaintBar(*painters.ChildBarPainter, canvas, rect, QString(),
                     static_cast<double>(Share(size, parentSize)), selected);
    }
    if (painters.BarPainter == nullptr)
        return;
    const long double fraction = Share(size, rootSize);
    PaintBar(*painters.BarPainter, canvas, rect, FormatPercentText(fraction, locale),
             static_cast<double>(fraction), selected);
}

} // namespace quorvex
