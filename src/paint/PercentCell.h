#pragma once

#include "model/FileSystemNode.h"

#include "paint/QuorvexOneBarChartPainter.h"

#include <QLocale>
#include <QRect>
#include <QString>

#include <memory>

class QPainter;

namespace quorvex {

class TFileSystemNode;

// The painters of the percentage column: the configured style for the share of the whole scan and
// the pale flat painter for the share of the parent directory. Not owned.
struct TPercentCellPainters {
    TQxBarChartPainter* BarPainter = nullptr;
    TQxBarChartPainter* ChildBarPainter = nullptr;
};

// The pale flat painter of the child bars.
std::unique_ptr<TQuorvexOneBarChartPainter> MakeChildBarPainter();

// 100 x fraction rounded to one decimal (halves to even) in the shortest form, with the locale's
// decimal separator and no group separator, followed by "%": "33.3%", "50%", "33,3%".
QString FormatPercentText(long double fraction, const QLocale& locale);

// Draws the percentage cell of `node` inside `cellRect` (shrunk by a pixel on every side): first the
// share of its parent when `drawChildBars` is set and the parent is not the root, then the share of
// the scan's root with its percentage text. Nothing at all when there is no root or its size is not
// positive.
void PaintPercentCell(QPainter& canvas, const QRect& cellRect, const TFileSystemNode& node,
                      const TFileSystemNode* root, bool selected, const TPercentCellPainters& painters,
                      bool drawChildBars, const QLocale& locale = QLocale(),
                      TSizeKind kind = TSizeKind::Logical);

} // namespace quorvex
