#pragma once

#include <exception>
#include <functional>
#include <string>

namespace quorvex {

// Error boxes are reached through a hook so that the core never links a widget toolkit: a GUI
// process installs a message-box handler, a headless one keeps the default, which writes to stderr.
using ErrorDialogHandler = std::function<void(const std::string& text)>;

// Installs the handler and returns the previous one; an empty handler restores the stderr default.
ErrorDialogHandler SetErrorDialogHandler(ErrorDialogHandler handler);

void ShowErrorDialog(const std::string& text);
void ShowExceptionDialog(const std::exception& error);

} // namespace quorvex
