#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>

class QPainter;

namespace quorvex {

// Text over skin bars. Every routine here places the text at the same origin, centred horizontally and
// starting one pixel below the rectangle's top, so text drawn twice (once plain, once recoloured or
// inverted) lands on the same pixels whatever the row height. All of it is clipped to the rectangle.

QPoint BarTextOrigin(const QPainter& canvas, const QRect& rect, const QString& text);

// The text in one colour.
void DrawBarText(QPainter& canvas, const QRect& rect, const QString& text, const QColor& color);

// The text in `textColor`, then its glyphs left of column `edge` + 1 OR-ed with `barTextColor`, so the
// part over the bar reads in the bar's text colour (exactly so when `textColor` is black).
void DrawTwoColourText(QPainter& canvas, const QRect& rect, const QString& text, int edge,
                       const QColor& barTextColor, const QColor& textColor);

// The text XOR-ed onto the canvas in the inverse of `color`: over white it shows in `color`, over a
// multicoloured bar it stays readable on every part.
void DrawInvertedText(QPainter& canvas, const QRect& rect, const QString& text, const QColor& color);

} // namespace quorvex
