#include "paint/Skins.h"

#include "paint/BarText.h"
#include "paint/Canvas.h"
#include "paint/QuorvexOneBarChartPainter.h"

namespace quorvex {

TSkinCairoHelix::TSkinCairoHelix() : TBarChartRepeatBitmapPainter(QStringLiteral("RES_CHARTBAR_SKIN_CAIRO")) {
    BarTextColor = clWhite;
    TextColor = clWindowText;
}

TSkinCrystal::TSkinCrystal() : TBarChartStretchBitmapPainter(QStringLiteral("RES_SKIN_Crystal")) {
    BarTextColor = clWindowText;
    TextColor = clWindowText;
}

TSkinChromeRed::TSkinChromeRed() : TBarChartStretchBitmapPainter(QStringLiteral("RES_SKIN_RedGlass")) {
    BarTextColor = clWhite;
    TextColor = clWindowText;
}

TSkinBlackIce::TSkinBlackIce() : TBarChartStretchBitmapPainter(QStringLiteral("RES_SKIN_BlackIce")) {
    BarTextColor = clWhite;
    TextColor = clWindowText;
}

TSkinTrueBlue::TSkinTrueBlue() : TBarChartStretchBitmapPainter(QStringLiteral("RES_SKIN_BlueChip")) {
    BarTextColor = clWhite;
    TextColor = clWindowText;
}

TSkinBronceAge::TSkinBronceAge() : TBarChartStretchBitmapPainter(QStringLiteral("RES_SKIN_BrownBrick")) {
    BarTextColor = clWhite;
    TextColor = clWindowText;
}

TSkinCenterCourt::TSkinCenterCourt() : TBarChartStretchBitmapPainter(QStringLiteral("RES_SKIN_CenterCourt")) {
    BarTextColor = RGBToColor(46, 92, 0);
    TextColor = clWindowText;
}

TSkinSpectrum::TSkinSpectrum() : TBarChartClippingBitmapPainter(QStringLiteral("RES_SKIN_Spectrum")) {
    TextColor = clWindowText;
}

void TSkinSpectrum::Paint(QPainter& canvas, const QRect& rect, const QString& text, double fraction) {
    TBarChartClippingBitmapPainter::Paint(canvas, rect, text, fraction);
    DrawFrameRect(canvas, GetBarRect(rect, fraction), ResolveColor(clBlack));
}

void TSkinSpectrum::PaintSelected(QPainter& canvas, const QRect& rect, const QString& text, double fraction) {
    TBarChartClippingBitmapPainter::PaintSelected(canvas, rect, text, fraction);
    DrawBarText(canvas, rect, text, ResolveColor(clHighlightText));
}

const TQxBarChartPainterClass& DefaultBarChartPainterClass() {
    static const TQxBarChartPainterClass defaultClass =
        PainterClassOf<TDefaultBarChartPainter>("TDefaultBarChartPainter");
    return defaultClass;
}

void RegisterBuiltInPainters(TQxBarChartPainterRegistry& registry) {
    registry.Register(PainterClassOf<TQuorvexOneBarChartPainter>("TQuorvexOneBarChartPainter"));
    registry.Register(PainterClassOf<TSkinCairoHelix>("TSkinCairoHelix"));
    registry.Register(PainterClassOf<TSkinCrystal>("TSkinCrystal"));
    registry.Register(PainterClassOf<TSkinChromeRed>("TSkinChromeRed"));
    registry.Register(PainterClassOf<TSkinBlackIce>("TSkinBlackIce"));
    registry.Register(PainterClassOf<TSkinTrueBlue>("TSkinTrueBlue"));
    registry.Register(PainterClassOf<TSkinBronceAge>("TSkinBronceAge"));
    registry.Register(PainterClassOf<TSkinCenterCourt>("TSkinCenterCourt"));
    registry.Register(PainterClassOf<TSkinSpectrum>("TSkinSpectrum"));
}

} // namespace quorvex
