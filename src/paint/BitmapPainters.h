#pragma once

#include "paint/Colors.h"
#include "paint/QxBarChartPainter.h"

#include <QImage>

namespace quorvex {

// The skin bitmap compiled in under `resourceName` (matched ignoring case), as 32-bit RGB; a null image
// when there is none.
QImage LoadSkinBitmap(const QString& resourceName);

// A painter that draws its bar from a bitmap loaded when the painter is made. A missing bitmap draws
// no bar; the text is still drawn.
class TBasicBarChartBitmapPainter : public TQxBarChartPainter {
public:
    // Fills the bar white, then lets Paint combine the bitmap with it by XOR, which shows the skin in
    // inverted colours.
    void PaintSelected(QPainter& canvas, const QRect& rect, const QString& text, double fraction) override;

    const QString& GetResourceName() const { return resourceName_; }
    const QImage& Bitmap() const { return bitmap_; }

protected:
    explicit TBasicBarChartBitmapPainter(QString resourceName);

    // The percentage over an unselected bar: in two colours that change at the bar's right edge
    // when the colour over the bar and the one beside it differ.
    static void DrawTextOverBar(QPainter& canvas, const QRect& rect, const QString& text, const QRect& bar,
                                TColor barTextColor, TColor textColor);
    // Selected: the inverted bar, then the text in the highlight-text colour.
    void PaintSelectedWithText(QPainter& canvas, const QRect& rect, const QString& text, double fraction);

    QImage bitmap_;

private:
    QString resourceName_;
};

// Tiles the bitmap along the bar; the last tile is cut.
class TBarChartRepeatBitmapPainter : public TBasicBarChartBitmapPainter {
public:
    void Paint(QPainter& canvas, const QRect& rect, const QString& text, double fraction) override;
    // Also redraws the text in the selection-text colour.
    void PaintSelected(QPainter& canvas, const QRect& rect, const QString& text, double fraction) override;

    TColor BarTextColor = clWindowText;
    TColor TextColor = clWindowText;

protected:
    using TBasicBarChartBitmapPainter::TBasicBarChartBitmapPainter;
};

// Keeps the two outer columns on each side of the bitmap as the bar's ends and stretches the middle.
class TBarChartStretchBitmapPainter : public TBasicBarChartBitmapPainter {
public:
    void Paint(QPainter& canvas, const QRect& rect, const QString& text, double fraction) override;
    void PaintSelected(QPainter& canvas, const QRect& rect, const QString& text, double fraction) override;

    const QImage& LeftCap() const { return leftCap_; }
    const QImage& RightCap() const { return rightCap_; }

    TColor BarTextColor = clWindowText;
    TColor TextColor = clWindowText;

protected:
    explicit TBarChartStretchBitmapPainter(QString resourceName);

private:
    QImage leftCap_;
    QImage rightCap_;
};

// Shows the left share of a full-scale bitmap, so the colour at the bar's end tells the size.
class TBarChartClippingBitmapPainter : public TBasicBarChartBitmapPainter {
public:
    void Paint(QPainter& canvas, const QRect& rect, const QString& text, double fraction) override;

    TColor TextColor = clWindowText;

protected:
    using TBasicBarChartBitmapPainter::TBasicBarChartBitmapPainter;
};

} // namespace quorvex
