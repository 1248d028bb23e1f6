#include "paint/BarText.h"

#include "paint/Canvas.h"

#include <QFontMetrics>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace quorvex {
namespace {

// The text drawn at (0, 0) on black, at the canvas device's resolution, for a raster-op overlay.
QImage TextOverlay(const QPainter& canvas, const QString& text, const TTextExtent& extent,
                   const QColor& color) {
    const QPaintDevice* device = canvas.device();
    const qreal ratio = device != nullptr ? device->devicePixelRatioF() : 1.0;
    QImage overlay(static_cast<int>(std::ceil(extent.Width * ratio)),
                   static_cast<int>(std::ceil(extent.Height * ratio)), QImage::Format_RGB32);
    if (device != nullptr) {
        // Same resolution as the canvas, so the font has the same pixel size on both.
        overlay.setDotsPerMeterX(qRound(device->logicalDpiX() / 0.0254));
        overlay.setDotsPerMeterY(qRound(device->logicalDpiY() / 0.0254));
    }
    overlay.setDevicePixelRatio(ratio);
    overlay.fill(Qt::black);
    QPainter painter(&overlay);
    painter.setFont(canvas.font());
    painter.setRenderHints(canvas.renderHints());
    painter.setPen(color);
    painter.drawText(QPoint(0, QFontMetrics(canvas.font(), &overlay).ascent()), text);
    return overlay;
}

void BlendOverlay(QPainter& canvas, const QRect& clip, const QRect& target, const QImage& overlay,
                  QPainter::CompositionMode mode) {
    if (target.isEmpty() || clip.isEmpty())
        return;
    canvas.save();
    canvas.setClipRect(clip, canvas.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    canvas.setCompositionMode(mode);
    const qreal ratio = overlay.devicePixelRatio();
    const QRect source(0, 0, static_cast<int>(std::ceil(target.width() * ratio)),
                       static_cast<int>(std::ceil(target.height() * ratio)));
    canvas.drawImage(target, overlay, source);
    canvas.restore();
}

QRect TextClip(const QRect& rect) {
    return rect.adjusted(0, 1, 0, 0);
}

} // namespace

QPoint BarTextOrigin(const QPainter& canvas, const QRect& rect, const QString& text) {
    const TTextExtent extent = MeasureText(canvas, text);
    return {rect.x() + (rect.width() - extent.Width) / 2, rect.y() + 1};
}

void DrawBarText(QPainter& canvas, const QRect& rect, const QString& text, const QColor& color) {
    if (text.isEmpty())
        return;
    const QPoint origin = BarTextOrigin(canvas, rect, text);
    DrawTextAt(canvas, origin.x(), origin.y(), text, color, TextClip(rect));
}

void DrawTwoColourText(QPainter& canvas, const QRect& rect, const QString& text, int edge,
                       const QColor& barTextColor, const QColor& textColor) {
    if (text.isEmpty())
        return;
    DrawBarText(canvas, rect, text, textColor);
    const TTextExtent extent = MeasureText(canvas, text);
    const QPoint origin = BarTextOrigin(canvas, rect, text);
    const int end = edge + 1;
    if (end <= origin.x() || extent.Width <= 0 || extent.Height <= 0)
        return;
    const int columns = std::min(end - origin.x(), extent.Width);
    const QImage overlay = TextOverlay(canvas, text, extent, barTextColor);
    BlendOverlay(canvas, TextClip(rect), QRect(origin.x(), origin.y(), columns, extent.Height), overlay,
                 QPainter::RasterOp_SourceOrDestination);
}

void DrawInvertedText(QPainter& canvas, const QRect& rect, const QString& text, const QColor& color) {
    if (text.isEmpty())
        return;
    const TTextExtent extent = MeasureText(canvas, text);
    if (extent.Width <= 0 || extent.Height <= 0)
        return;
    const QPoint origin = BarTextOrigin(canvas, rect, text);
    const QColor inverse = QColor::fromRgb(color.rgb() ^ 0x00FFFFFFu);
    const QImage overlay = TextOverlay(canvas, text, extent, inverse);
    BlendOverlay(canvas, TextClip(rect), QRect(origin.x(), origin.y(), extent.Width, extent.Height), overlay,
                 QPainter::RasterOp_SourceXorDestination);
}

} // namespace quorvex
