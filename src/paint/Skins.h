#pragma once

#include "paint/BitmapPainters.h"

namespace quorvex {

class TSkinCairoHelix : public TBarChartRepeatBitmapPainter {
public:
    TSkinCairoHelix();
    static QString GetPainterName() { return QStringLiteral("Cairo Helix"); }
};

// The painter used when no style is configured: the Cairo Helix look under its own class name. Not
// registered.
class TDefaultBarChartPainter : public TSkinCairoHelix {};

class TSkinCrystal : public TBarChartStretchBitmapPainter {
public:
    TSkinCrystal();
    static QString GetPainterName() { return QStringLiteral("Crystal"); }
};

class TSkinChromeRed : public TBarChartStretchBitmapPainter {
public:
    TSkinChromeRed();
    static QString GetPainterName() { return QStringLiteral("Chrome Red"); }
};

class TSkinBlackIce : public TBarChartStretchBitmapPainter {
public:
    TSkinBlackIce();
    static QString GetPainterName() { return QStringLiteral("Black Ice"); }
};

class TSkinTrueBlue : public TBarChartStretchBitmapPainter {
public:
    TSkinTrueBlue();
    static QString GetPainterName() { return QStringLiteral("True Blue"); }
};

class TSkinBronceAge : public TBarChartStretchBitmapPainter {
public:
    TSkinBronceAge();
    static QString GetPainterName() { return QStringLiteral("Bronze Age"); }
};

class TSkinCenterCourt : public TBarChartStretchBitmapPainter {
public:
    TSkinCenterCourt();
    static QString GetPainterName() { return QStringLiteral("Center Court"); }
};

class TSkinSpectrum : public TBarChartClippingBitmapPainter {
public:
    TSkinSpectrum();
    static QString GetPainterName() { return QStringLiteral("Spectrum"); }

    // The clipped scale framed in black.
    void Paint(QPainter& canvas, const QRect& rect, const QString& text, double fraction) override;
    void PaintSelected(QPainter& canvas, const QRect& rect, const QString& text, double fraction) override;
};

// The class the settings fall back to when the configured class name is empty or unknown.
const TQxBarChartPainterClass& DefaultBarChartPainterClass();

} // namespace quorvex
