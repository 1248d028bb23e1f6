#pragma once

#include <rapidjson/error/error.h>

#include <string>

namespace quorvex {

// The JSON reader's own texts are English only; these read the same and are translated.
std::string ParseErrorText(rapidjson::ParseErrorCode code);

} // namespace quorvex
