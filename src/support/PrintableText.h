#pragma once

#include <string>
#include <string_view>

namespace quorvex {

// `bytes` (a file name, or a message that carries one) made safe to print on a terminal or in a
// line a script parses: a name can neither start a new line nor send the terminal a command.
// Valid UTF-8 passes unchanged except for these, which become visible escapes:
//   backslash  \\          tab, line feed, carriage return  \t \n \r
//   every other control character (C0, DEL, and the C1 range U+0080 to U+009F) and every byte
//   that is not part of valid UTF-8  \xHH, one per byte, HH in upper-case hexadecimal.
// Each escape stands for the bytes it replaces, so the original name can be recovered exactly.
std::string PrintableText(std::string_view bytes);

} // namespace quorvex
