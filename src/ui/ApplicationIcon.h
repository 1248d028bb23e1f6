#pragma once

#include <QIcon>

namespace quorvex {

// The desktop entry, the icon theme file and the AppStream component all carry this id; the window
// announces it so that the task bar and Wayland compositors match the window to the entry.
inline constexpr const char* kApplicationId = "org.quorvex.Quorvex";

// The program's own icon from the renders compiled in, in every size the icon theme gets.
QIcon ApplicationIcon();

} // namespace quorvex
