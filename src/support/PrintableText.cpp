#include "support/PrintableText.h"

#include <cstdint>

namespace quorvex {
namespace {

// The length of the valid UTF-8 sequence at the start of `text` (shortest form, no surrogates,
// at most U+10FFFF), or 0 when it does not start with one.
std::size_t Utf8Length(std::string_view text, char32_t& point) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    if (lead < 0x80) {
        point = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        point = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        point = (point << 6) | (byte(i) & 0x3F);
    }
    const bool overlong = (length == 3 && point < 0x800) || (length == 4 && point < 0x10000);
    const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    if (overlong || surrogate || point > 0x10FFFF)
        return 0;
    return length;
}

void AppendHex(std::string& out, std::uint8_t byte) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
}

} // namespace

std::string PrintableText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        char32_t point = 0;
        const std::size_t length = Utf8Length(bytes, point);
        if (length == 0) {
            AppendHex(out, static_cast<std::uint8_t>(bytes.front()));
            bytes.remove_prefix(1);
            continue;
        }
        if (point == '\\') {
            out += "\\\\";
        } else if (point == '\t') {
            out += "\\t";
        } else if (point == '\n') {
            out += "\\n";
        } else if (point == '\r') {
            out += "\\r";
        } else if (point < 0x20 || (point >= 0x7F && point <= 0x9F)) {
            for (std::size_t i = 0; i < length; ++i)
                AppendHex(out, static_cast<std::uint8_t>(bytes[i]));
        } else {
            out.append(bytes.substr(0, length));
        }
        bytes.remove_prefix(length);
    }
    return out;
}

} // namespace quorvex
