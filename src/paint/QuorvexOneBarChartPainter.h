#pragma once

#include "paint/Colors.h"
#include "paint/QxBarChartPainter.h"

namespace quorvex {

// The flat-colour bar: a filled rectangle with a coloured outline and a white inner line.
class TQuorvexOneBarChartPainter : public TQxBarChartPainter {
public:
    TQuorvexOneBarChartPainter() = default;
    TQuorvexOneBarChartPainter(TColor frameColor, TColor fillColor)
        : FrameColor(frameColor), FillColor(fillColor) {}

    static QString GetPainterName() { return QStringLiteral("Quorvex Classic"); }

    void Paint(QPainter& canvas, const QRect& rect, const QString& text, double fraction) override;
    // Outlines the bar in the selection-text colour and fills it with the canvas's current brush.
    void PaintSelected(QPainter& canvas, const QRect& rect, const QString& text, double fraction) override;

    TColor FrameColor = 0x5FC2E2;
    TColor FillColor = 0x7BE0F6;
};

} // namespace quorvex
