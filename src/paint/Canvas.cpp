#include "paint/Canvas.h"

#include <QFontMetrics>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>

namespace quorvex {

void DrawOutlinedRect(QPainter& canvas, const QRect& rect, const QColor& pen, const QBrush& brush) {
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    if (brush.style() != Qt::NoBrush && rect.width() > 2 && rect.height() > 2)
        canvas.fillRect(rect.adjusted(1, 1, -1, -1), brush);
    const int l = rect.x();
    const int t = rect.y();
    const int w = rect.width();
    const int h = rect.height();
    // Four strips that never overlap, so an XOR composition mode does not cancel the corners.
    canvas.fillRect(QRect(l, t, w, 1), pen);
    if (h > 1)
        canvas.fillRect(QRect(l, t + h - 1, w, 1), pen);
    if (h > 2) {
        canvas.fillRect(QRect(l, t + 1, 1, h - 2), pen);
        if (w > 1)
            canvas.fillRect(QRect(l + w - 1, t + 1, 1, h - 2), pen);
    }
}

void DrawFrameRect(QPainter& canvas, const QRect& rect, const QColor& color) {
    canvas.save();
    canvas.setCompositionMode(QPainter::CompositionMode_SourceOver);
    DrawOutlinedRect(canvas, rect, color, Qt::NoBrush);
    canvas.restore();
}

void CopyImageRect(QPainter& canvas, const QRect& target, const QImage& image, const QRect& source) {
    if (target.isEmpty() || source.isEmpty() || image.isNull())
        return;
    canvas.drawImage(target, image, source);
}

TTextExtent MeasureText(const QPainter& canvas, const QString& text) {
    const QFontMetrics metrics = canvas.device() != nullptr ? QFontMetrics(canvas.font(), canvas.device())
                                                            : QFontMetrics(canvas.font());
    return {metrics.horizontalAdvance(text), metrics.height()};
}

void DrawTextAt(QPainter& canvas, int x, int y, const QString& text, const QColor& color, const QRect& clip) {
    if (text.isEmpty() || clip.isEmpty())
        return;
    const QFontMetrics metrics = canvas.device() != nullptr ? QFontMetrics(canvas.font(), canvas.device())
                                                            : QFontMetrics(canvas.font());
    canvas.save();
    canvas.setCompositionMode(QPainter::CompositionMode_SourceOver);
    canvas.setClipRect(clip, canvas.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    canvas.setPen(color);
    canvas.setBrush(Qt::NoBrush);
    canvas.drawText(QPoint(x, y + metrics.ascent()), text);
    canvas.restore();
}

void DrawCenteredText(QPainter& canvas, const QRect& rect, const QString& text, const QColor& color) {
    if (text.isEmpty())
        return;
    TTextExtent extent = MeasureText(canvas, text);
    if (extent.Height % 2 != 0)
        ++extent.Height;
    const int x = rect.x() + rect.width() / 2 - extent.Width / 2;
    const int y = rect.y() + rect.height() / 2 - extent.Height / 2;
    DrawTextAt(canvas, x, y, text, color, rect);
}

} // namespace quorvex
