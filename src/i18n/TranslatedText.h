#pragma once

#include "i18n/Translation.h"

#include <QString>

namespace quorvex {

// A translated text for a Qt widget or message box. The message extractor knows `Tr` as a keyword.
inline QString Tr(const char* text) {
    return QString::fromStdString(TranslateText(text));
}

} // namespace quorvex
