#pragma once

#include "support/Version.h" // kApplicationId, which the window announces so that the task bar and
                             // Wayland compositors match the window to its desktop entry

#include <QIcon>

namespace quorvex {

// The program's own icon from the renders compiled in, in every size the icon theme gets.
QIcon ApplicationIcon();

} // namespace quorvex
