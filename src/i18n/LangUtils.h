#pragma once

#include <string>
#include <vector>

namespace quorvex {

// The English name of a language code, or "". A code longer than two characters is first looked up
// exactly (case matters: "en_US", not "en_us"); otherwise, or failing that, by its first two characters.
std::string LanguageName(const std::string& code);

// "German [de]", "American English [en_US]"; a code without a name gives " [xx]".
std::string LanguageDisplayName(const std::string& code);

// The display name of the part before the first "_": "German [de]" for de_AT.
std::string BaseLanguageDisplayName(const std::string& code);

// The text between the first "[" and the "]" after it; "" when the text has no such brackets.
std::string LanguageCodeFromDisplayName(const std::string& displayName);

// The display names of the languages that have a catalogue of the domain "default", in the order the
// catalogue folder lists them, and English (the built-in language) at the end unless listed already.
std::vector<std::string> GetLanguageDisplayList();

} // namespace quorvex
