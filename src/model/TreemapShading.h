#pragma once

#include "model/TreemapLayout.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace quorvex {

// The colour of a tile before shading, as 0xRRGGBB: a file's kind colour, a neutral one for folder
// frames and file groups.
std::uint32_t TreemapTileColour(const TTreemapTile& tile);

// Draws the tiles, in their order, with cushion shading (van Wijk and van de Wetering): each frame
// adds a ridge to the surface of everything inside it, lit from the top left, so the nesting reads
// without borders. `pixels` are 0xFFRRGGBB, rows `stride` pixels apart; `scale` device pixels make one
// layout unit. A pixel belongs to the tile that holds its centre.
void PaintTreemap(std::span<const TTreemapTile> tiles, float scale, std::uint32_t* pixels, int width,
                  int height, std::ptrdiff_t stride);

} // namespace quorvex
