#include "paint/QuorvexOneBarChartPainter.h"

#include "paint/Canvas.h"

#include <QPainter>

namespace quorvex {

void TQuorvexOneBarChartPainter::Paint(QPainter& canvas, const QRect& rect, const QString& text,
                                       double fraction) {
    const QRect bar = GetBarRect(rect, fraction);
    const QColor fill = ResolveColor(FillColor);
    if (bar.width() >= 2) {
        DrawOutlinedRect(canvas, bar, ResolveColor(FrameColor), fill);
        DrawOutlinedRect(canvas, bar.adjusted(1, 1, -1, -1), ResolveColor(clWhite), fill);
    } else if (bar.width() == 1) {
        canvas.fillRect(bar, ResolveColor(FrameColor));
    }
    DrawCenteredText(canvas, rect, text, ResolveColor(clBlack));
}

void TQuorvexOneBarChartPainter::PaintSelected(QPainter& canvas, const QRect& rect, const QString& text,
                                               double fraction) {
    const QRect bar = GetBarRect(rect, fraction);
    const QColor highlightText = ResolveColor(clHighlightText);
    DrawOutlinedRect(canvas, bar, highlightText, canvas.brush());
    DrawCenteredText(canvas, rect, text, highlightText);
}

} // namespace quorvex
