#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRect>

#include <functional>

namespace quorvex::test {

inline QImage WhiteCanvas(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

// A font without antialiasing, so glyph pixels carry exactly the text colour.
inline QFont CrispFont() {
    QFont font(QStringLiteral("DejaVu Sans"), 9);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

inline QRgb Rgb(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0x00FFFFFFu;
}

// The number of pixels in `area` for which `matches` holds.
inline int CountPixels(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& matches) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (matches(Rgb(image, x, y)))
                ++count;
    return count;
}

inline int CountColour(const QImage& image, const QRect& area, QRgb colour) {
    return CountPixels(image, area, [colour](QRgb c) { return c == (colour & 0x00FFFFFFu); });
}

// Columns of `area` that hold at least one pixel other than `background`.
inline QRect InkBounds(const QImage& image, const QRect& area, QRgb background) {
    QRect bounds;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (Rgb(image, x, y) != (background & 0x00FFFFFFu))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

} // namespace quorvex::test
