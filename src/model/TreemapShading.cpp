#include "model/TreemapShading.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace quorvex {
namespace {

constexpr std::uint32_t kFolderColour = 0x9a9a9a;
constexpr std::uint32_t kFileGroupColour = 0xc8c8c8;
constexpr std::uint32_t kBackground = 0x202020;
constexpr std::uint32_t kOpaque = 0xff000000U;

// The height of the outermost ridge, and how much lower each level's is: deeper frames bend less, so
// the large shapes still show through the small ones.
constexpr float kRidgeHeight = 0.5F;
constexpr float kRidgeFalloff = 0.75F;
// Ambient and diffuse parts of the light; together they give a tile facing the light its own colour.
constexpr float kAmbient = 0.25F;
constexpr float kDiffuse = 0.75F;

// z(x, y) = X2 x^2 + X1 x + Y2 y^2 + Y1 y, summed over the tile's frames.
struct TCushion {
    float X2 = 0, X1 = 0, Y2 = 0, Y1 = 0;
};

// A parabola over [from, to] peaking at `height`.
void AddRidge(float from, float to, float height, float& a2, float& a1) {
    if (to <= from)
        return;
    a1 += 4 * height * (to + from) / (to - from);
    a2 -= 4 * height / (to - from);
}

// The first pixel whose centre is at or after `edge`.
int PixelEdge(float edge, int limit) {
    return std::clamp(static_cast<int>(std::ceil(edge - 0.5F)), 0, limit);
}

} // namespace

std::uint32_t TreemapTileColour(const TTreemapTile& tile) {
    switch (tile.Type) {
    case TTileType::Folder:
        return kFolderColour;
    case TTileType::FileGroup:
        return kFileGroupColour;
    case TTileType::File:
        break;
    }
    return FileKindColour(tile.Kind);
}

void PaintTreemap(std::span<const TTreemapTile> tiles, float scale, std::uint32_t* pixels, int width,
                  int height, std::ptrdiff_t stride) {
    // The light from the top left, slightly above the screen.
    const float length = std::sqrt(1.F + 1.F + 10.F * 10.F);
    const float lightX = -1.F / length;
    const float lightY = -1.F / length;
    const float lightZ = 10.F / length;
    std::array<float, 256> heights{};
    heights[0] = kRidgeHeight;
    for (std::size_t d = 1; d < heights.size(); ++d)
        heights[d] = heights[d - 1] * kRidgeFalloff;
    // Each tile's surface, its frames' ridges and its own: the latest tile of each depth above it is
    // one of its frames.
    std::vector<TCushion> cushions(tiles.size());
    std::array<TCushion, 256> latest{};
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const TTreemapTile& tile = tiles[i];
        TCushion surface = tile.Depth > 0 ? latest[tile.Depth - 1U] : TCushion{};
        AddRidge(tile.X * scale, (tile.X + tile.Width) * scale, heights[tile.Depth], surface.X2, surface.X1);
        AddRidge(tile.Y * scale, (tile.Y + tile.Height) * scale, heights[tile.Depth], surface.Y2, surface.Y1);
        latest[tile.Depth] = surface;
        cushions[i] = surface;
    }

    // Drawn last first, each pixel once: a pixel still transparent is one no later tile covers. Most of
    // a frame lies under its children, and shading is what costs.
    for (int y = 0; y < height; ++y)
        std::fill_n(pixels + y * stride, width, kBackground);
    for (std::size_t i = tiles.size(); i-- > 0;) {
        const TTreemapTile& tile = tiles[i];
        const TCushion& surface = cushions[i];
        const std::uint32_t colour = TreemapTileColour(tile);
        const auto red = static_cast<float>((colour >> 16) & 0xff);
        const auto green = static_cast<float>((colour >> 8) & 0xff);
        const auto blue = static_cast<float>(colour & 0xff);
        const int x0 = PixelEdge(tile.X * scale, width);
        const int x1 = PixelEdge((tile.X + tile.Width) * scale, width);
        const int y0 = PixelEdge(tile.Y * scale, height);
        const int y1 = PixelEdge((tile.Y + tile.Height) * scale, height);
        for (int y = y0; y < y1; ++y) {
            const float ny = -(2 * surface.Y2 * (static_cast<float>(y) + 0.5F) + surface.Y1);
            std::uint32_t* row = pixels + y * stride;
            for (int x = x0; x < x1; ++x) {
                if ((row[x] & kOpaque) != 0)
                    continue;
                const float nx = -(2 * surface.X2 * (static_cast<float>(x) + 0.5F) + surface.X1);
                const float facing = (nx * lightX + ny * lightY + lightZ) / std::sqrt(nx * nx + ny * ny + 1);
                const float light = kAmbient + kDiffuse * std::max(0.F, facing);
                const auto channel = [light](float c) {
                    return static_cast<std::uint32_t>(std::min(255.F, c * light + 0.5F));
                };
                row[x] = kOpaque | channel(red) << 16 | channel(green) << 8 | channel(blue);
            }
        }
    }
    for (int y = 0; y < height; ++y) {
        std::uint32_t* row = pixels + y * stride;
        for (int x = 0; x < width; ++x)
            row[x] |= kOpaque;
    }
}

} // namespace quorvex
