#pragma once

#include "i18n/ErrorDialogs.h"

#include <string>

namespace quorvex {

// Question boxes without owner window. The caption ("Confirmation" / "Warning") is translated when the
// box is shown; the text is shown as plain text, never as markup. True only when the user chose Yes;
// closing the box or pressing Escape answers No. Without a QApplication no one can answer: false.
// May be called from any thread: the box always runs on the user-interface thread.
bool ShowConfirmationDialog(const std::string& text);
bool ShowWarningDialog(const std::string& text);

// Backs ShowErrorDialog and ShowExceptionDialog with a modal error box ("Error", OK, error icon).
// Without a QApplication the previous handler (by default the stderr line) is used. Returns the
// handler it replaced.
ErrorDialogHandler InstallErrorDialogBacking();

} // namespace quorvex
