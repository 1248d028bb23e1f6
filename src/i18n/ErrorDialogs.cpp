#include "i18n/ErrorDialogs.h"

#include "i18n/Translation.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace quorvex {
namespace {

void WriteToStderr(const std::string& text) {
    const std::string caption = TranslateText("Error");
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

struct HandlerSlot {
    std::mutex mutex;
    ErrorDialogHandler handler;
};

HandlerSlot& Slot() {
    static HandlerSlot slot;
    return slot;
}

} // namespace

ErrorDialogHandler SetErrorDialogHandler(ErrorDialogHandler handler) {
    std::lock_guard lock(Slot().mutex);
    return std::exchange(Slot().handler, std::move(handler));
}

void ShowErrorDialog(const std::string& text) {
    ErrorDialogHandler handler;
    {
        std::lock_guard lock(Slot().mutex);
        handler = Slot().handler;
    }
    if (handler)
        handler(text);
    else
        WriteToStderr(text);
}

void ShowExceptionDialog(const std::exception& error) {
    ShowErrorDialog(error.what());
}

} // namespace quorvex
