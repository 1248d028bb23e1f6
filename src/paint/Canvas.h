#pragma once

#include <QBrush>
#include <QColor>
#include <QRect>
#include <QString>

class QImage;
class QPainter;

namespace quorvex {

// Drawing primitives with the pixel rules the painters were designed for: rectangles are left, top,
// width, height with nothing drawn outside them, and an outline is one pixel inside the rectangle.

// Outline of `rect` in `pen` (1 pixel, inside the rectangle) and its interior filled with `brush`
// (skipped for Qt::NoBrush). Nothing for an empty rectangle. Honours the canvas's composition mode.
void DrawOutlinedRect(QPainter& canvas, const QRect& rect, const QColor& pen, const QBrush& brush);

// A one-pixel frame just inside `rect`, always drawn over (not combined with) the canvas.
void DrawFrameRect(QPainter& canvas, const QRect& rect, const QColor& color);

// Copies `source` of `image` into `target`, scaling without smoothing, with the canvas's current
// composition mode (the copy mode of a block transfer). Nothing for an empty source or target.
void CopyImageRect(QPainter& canvas, const QRect& target, const QImage& image, const QRect& source);

struct TTextExtent {
    int Width = 0;
    int Height = 0;
};

// Width and height of `text` in the canvas's font on the canvas's device.
TTextExtent MeasureText(const QPainter& canvas, const QString& text);

// Draws `text` with its top-left corner at (x, y) in `color`, transparent background, clipped to `clip`.
// Text is always drawn over the canvas, whatever its composition mode.
void DrawTextAt(QPainter& canvas, int x, int y, const QString& text, const QColor& color, const QRect& clip);

// The text centred over `rect` as the flat painter places it: an odd text height counts one pixel more.
void DrawCenteredText(QPainter& canvas, const QRect& rect, const QString& text, const QColor& color);

} // namespace quorvex
