#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace quorvex {

// Case folding of ASCII letters only: keys, language codes and extensions are ASCII, while file
// names are bytes in any encoding, where a locale's tolower could fold what is not a letter.
inline char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiLowered(std::string_view text) {
    std::string lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), AsciiLower);
    return lowered;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

} // namespace quorvex
