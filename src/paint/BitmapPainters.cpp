#include "paint/BitmapPainters.h"

#include "paint/BarText.h"
#include "paint/Canvas.h"

#include <QFile>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <mutex>

// The resource object of a static library is linked in only when something refers to it.
static void InitSkinResources() {
    Q_INIT_RESOURCE(skins);
}

namespace quorvex {

QImage LoadSkinBitmap(const QString& resourceName) {
    static std::once_flag once;
    std::call_once(once, InitSkinResources);
    if (resourceName.isEmpty())
        return {};
    const QImage image(QStringLiteral(":/skins/") + resourceName.toUpper(), "BMP");
    if (image.isNull())
        return {};
    return image.convertToFormat(QImage::Format_RGB32);
}

TBasicBarChartBitmapPainter::TBasicBarChartBitmapPainter(QString resourceName)
    : bitmap_(LoadSkinBitmap(resourceName)), resourceName_(std::move(resourceName)) {}

void TBasicBarChartBitmapPainter::PaintSelected(QPainter& canvas, const QRect& rect, const QString& text,
                                                double fraction) {
    canvas.fillRect(GetBarRect(rect, fraction), ResolveColor(clWhite));
    const QPainter::CompositionMode previous = canvas.compositionMode();
    canvas.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    Paint(canvas, rect, text, fraction);
    canvas.setCompositionMode(previous);
}

void TBasicBarChartBitmapPainter::DrawTextOverBar(QPainter& canvas, const QRect& rect, const QString& text,
                                                  const QRect& bar, TColor barTextColor, TColor textColor) {
    if (textColor != barTextColor)
        DrawTwoColourText(canvas, rect, text, bar.x() + bar.width() - 1, ResolveColor(barTextColor),
                          ResolveColor(textColor));
    else
        DrawBarText(canvas, rect, text, ResolveColor(barTextColor));
}

void TBasicBarChartBitmapPainter::PaintSelectedWithText(QPainter& canvas, const QRect& rect,
                                                        const QString& text, double fraction) {
    TBasicBarChartBitmapPainter::PaintSelected(canvas, rect, text, fraction);
    DrawBarText(canvas, rect, text, ResolveColor(clHighlightText));
}

void TBarChartRepeatBitmapPainter::Paint(QPainter& canvas, const QRect& rect, const QString& text,
                                         double fraction) {
    const QRect bar = GetBarRect(rect, fraction);
    const int tileWidth = bitmap_.width();
    // A tile of width 0 would never advance the loop.
    if (bar.width() > 0 && tileWidth > 0 && bitmap_.height() > 0) {
        QImage strip(bar.width(), bitmap_.height(), QImage::Format_RGB32);
        {
            QPainter stripPainter(&strip);
            stripPainter.setCompositionMode(QPainter::CompositionMode_Source);
            for (int x = 0; x < strip.width(); x += tileWidth)
                stripPainter.drawImage(x, 0, bitmap_);
        }
        CopyImageRect(canvas, bar, strip, strip.rect());
    }
    DrawTextOverBar(canvas, rect, text, bar, BarTextColor, TextColor);
}

void TBarChartRepeatBitmapPainter::PaintSelected(QPainter& canvas, const QRect& rect, const QString& text,
                                                 double fraction) {
    PaintSelectedWithText(canvas, rect, text, fraction);
}

TBarChartStretchBitmapPainter::TBarChartStretchBitmapPainter(QString resourceName)
    : TBasicBarChartBitmapPainter(std::move(resourceName)) {
    const int w = bitmap_.width();
    const int h = bitmap_.height();
    // A bitmap too narrow for two caps is stretched whole.
    if (w < 4)
        return;
    leftCap_ = bitmap_.copy(0, 0, 2, h);
    rightCap_ = bitmap_.copy(w - 2, 0, 2, h);
    bitmap_ = bitmap_.copy(2, 0, w - 4, h);
}

void TBarChartStretchBitmapPainter::Paint(QPainter& canvas, const QRect& rect, const QString& text,
                                          double fraction) {
    const QRect bar = GetBarRect(rect, fraction);
    QRect middle = bar;
    const bool capsFit = leftCap_.width() + rightCap_.width() <= bar.width();
    // The caps keep their width but follow the row's height like the middle piece, so the bar's ends
    // line up with it in rows of any height.
    if (capsFit && !leftCap_.isNull()) {
        CopyImageRect(canvas, QRect(bar.x(), bar.y(), leftCap_.width(), bar.height()), leftCap_,
                      leftCap_.rect());
        middle.setLeft(middle.left() + leftCap_.width());
        middle.setWidth(middle.width() - rightCap_.width());
    }
    CopyImageRect(canvas, middle, bitmap_, bitmap_.rect());
    if (capsFit && !rightCap_.isNull())
        CopyImageRect(canvas, QRect(middle.x() + middle.width(), bar.y(), rightCap_.width(), bar.height()),
                      rightCap_, rightCap_.rect());
    // The recoloured text ends at the bar's own edge, with or without caps.
    DrawTextOverBar(canvas, rect, text, bar, BarTextColor, TextColor);
}

void TBarChartStretchBitmapPainter::PaintSelected(QPainter& canvas, const QRect& rect, const QString& text,
                                                  double fraction) {
    PaintSelectedWithText(canvas, rect, text, fraction);
}

void TBarChartClippingBitmapPainter::Paint(QPainter& canvas, const QRect& rect, const QString& text,
                                           double fraction) {
    const QRect bar = GetBarRect(rect, fraction);
    auto sourceWidth = static_cast<int>(std::trunc(bitmap_.width() * ClampFraction(fraction)));
    // A bar of a pixel or two still shows the first colour of the scale.
    if (bar.width() > 0 && sourceWidth == 0)
        sourceWidth = std::min(1, bitmap_.width());
    CopyImageRect(canvas, bar, bitmap_, QRect(0, 0, sourceWidth, bitmap_.height()));
    DrawInvertedText(canvas, rect, text, ResolveColor(TextColor));
}

} // namespace quorvex
