#include "paint/Colors.h"

#include <QGuiApplication>
#include <QPalette>

namespace quorvex {
namespace {

struct SystemColorRole {
    int index;
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
    QRgb fallback;
};

// Fallbacks are those of a plain light theme, so a process without a GUI still draws sensibly.
constexpr SystemColorRole kRoles[] = {
    {5, QPalette::Active, QPalette::Base, 0xFFFFFF},
    {8, QPalette::Active, QPalette::Text, 0x000000},
    {13, QPalette::Active, QPalette::Highlight, 0x308CC6},
    {14, QPalette::Active, QPalette::HighlightedText, 0xFFFFFF},
    {15, QPalette::Active, QPalette::Button, 0xEFEFEF},
    {16, QPalette::Active, QPalette::Dark, 0xA0A0A0},
    {17, QPalette::Disabled, QPalette::Text, 0xBEBEBE},
    {18, QPalette::Active, QPalette::ButtonText, 0x000000},
    {20, QPalette::Active, QPalette::Light, 0xFFFFFF},
};

struct FixedSystemColor {
    int index;
    QRgb rgb;
};

// Colours without a palette role.
constexpr FixedSystemColor kFixed[] = {
    {2, 0x99B4D1},
    {9, 0x000000},
    {10, 0xB4B4B4},
};

QColor ResolveSystemColor(int index) {
    for (const auto& fixed : kFixed) {
        if (fixed.index == index)
            return QColor::fromRgb(fixed.rgb);
    }
    for (const auto& entry : kRoles) {
        if (entry.index != index)
            continue;
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
            return QColor::fromRgb(entry.fallback);
        QColor color = QGuiApplication::palette().color(entry.group, entry.role);
        color.setAlpha(255);
        return color;
    }
    return QColor(Qt::black);
}

} // namespace

QColor ResolveColor(TColor color) {
    if (IsSystemColor(color))
        return ResolveSystemColor(static_cast<int>(color & 0xFFu));
    return QColor(static_cast<int>(color & 0xFFu), static_cast<int>((color >> 8) & 0xFFu),
                  static_cast<int>((color >> 16) & 0xFFu));
}

} // namespace quorvex
