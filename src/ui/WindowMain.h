#pragma once

namespace quorvex {

// True when a window can be shown: DISPLAY or WAYLAND_DISPLAY is set, or QT_QPA_PLATFORM names a
// platform plugin (offscreen, say).
bool HasGraphicalDisplay();

// The window process: the running marker, the application object, the shared settings, the main
// window and its message loop. `argv[1]`, when it names a directory, is scanned at once. Without a
// display it explains how to go on instead and returns 2.
int RunMainWindow(int argc, char** argv);

} // namespace quorvex
