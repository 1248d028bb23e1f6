#pragma once

#include "model/TreemapLayout.h"

#include <QImage>
#include <QSize>

#include <span>

namespace quorvex {

// The tiles of a layout made at `size` (logical pixels), painted with their cushions at
// `devicePixelRatio`: the picture of the window's treemap, and the one `--treemap FILE.png` writes.
QImage TreemapImage(std::span<const TTreemapTile> tiles, QSize size, qreal devicePixelRatio);

} // namespace quorvex
