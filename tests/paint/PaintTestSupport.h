#pragma once

#include "paint/QxBarChartPainter.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRect>

namespace quorvex::test {

constexpr QRgb kWhite = 0xFFFFFF;
constexpr QRgb kBlack = 0x000000;

// A font without antialiasing, so glyph pixels carry exactly the text colour.
inline QFont CrispFont() {
    QFont font(QStringLiteral("DejaVu Sans"), 9);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

// `painter` drawn into `rect` of a canvas filled with `background` that leaves room right and below.
inline QImage PaintCell(TQxBarChartPainter& painter, const QRect& rect, double fraction,
                        const QString& text = {}, bool selected = false, const QColor& background = Qt::white,
                        const QBrush& brush = Qt::NoBrush) {
    QImage image(rect.right() + 21, rect.bottom() + 5, QImage::Format_RGB32);
    image.fill(background);
    QPainter canvas(&image);
    canvas.setFont(CrispFont());
    canvas.setBrush(brush);
    if (selected)
        painter.PaintSelected(canvas, rect, text, fraction);
    else
        painter.Paint(canvas, rect, text, fraction);
    return image;
}

inline QRgb Rgb(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0x00FFFFFFu;
}

inline int CountColour(const QImage& image, const QRect& area, QRgb colour) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += Rgb(image, x, y) == (colour & 0x00FFFFFFu) ? 1 : 0;
    return count;
}

// The bounding box of the pixels of `image` other than `background`.
inline QRect InkBounds(const QImage& image, QRgb background) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (Rgb(image, x, y) != (background & 0x00FFFFFFu))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

} // namespace quorvex::test
