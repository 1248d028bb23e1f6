#pragma once

#include <span>
#include <string_view>

namespace quorvex {

// One row of the language-name table: an ISO 639-1 code (a few with a region) and its English name.
struct TIsoLanguage {
    std::string_view Code;
    std::string_view Name;
};

// The 189 rows, searched from the first; the names are never translated.
std::span<const TIsoLanguage> IsoLanguages();

} // namespace quorvex
