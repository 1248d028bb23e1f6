#pragma once

#include <string>
#include <vector>

namespace quorvex {

// A list of texts as one line, the form the recent folders are kept in. Writing quotes an entry holding a
// character 1..32, a comma or a double quote, with inner quotes doubled; a single empty entry is written as
// "". Reading skips characters 1..32 around entries and commas; an unquoted entry ends at a comma or at a
// character 1..32, and a final comma adds one empty entry. A NUL byte ends the text.
std::string EncodeCommaText(const std::vector<std::string>& items);
std::vector<std::string> DecodeCommaText(const std::string& text);

} // namespace quorvex
