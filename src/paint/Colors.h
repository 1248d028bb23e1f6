#pragma once

#include <QColor>

#include <cstdint>

namespace quorvex {

// A colour as 0x00BBGGRR (red in the low byte). 0x800000nn names system colour nn, resolved through
// the application palette at the moment of drawing.
using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clWindow = 0x80000005;
inline constexpr TColor clWindowText = 0x80000008;
inline constexpr TColor clHighlight = 0x8000000D;
inline constexpr TColor clHighlightText = 0x8000000E;
inline constexpr TColor clBtnFace = 0x8000000F;
inline constexpr TColor clBtnShadow = 0x80000010;
inline constexpr TColor clGrayText = 0x80000011;
inline constexpr TColor clBtnText = 0x80000012;
inline constexpr TColor clBtnHighlight = 0x80000014;

constexpr bool IsSystemColor(TColor color) {
    return (color & 0xFF000000u) == 0x80000000u;
}

constexpr TColor RGBToColor(int red, int green, int blue) {
    return static_cast<TColor>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}

// The colour as an opaque QColor. System colours come from the application palette when a
// QGuiApplication exists, else from fixed defaults of a light desktop theme; unknown system colour
// numbers resolve to black.
QColor ResolveColor(TColor color);

} // namespace quorvex
