#include "support/CommaText.h"

#include <algorithm>

namespace quorvex {
namespace {

bool IsBlank(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= ' ';
}

} // namespace

std::string EncodeCommaText(const std::vector<std::string>& items) {
    if (items.size() == 1 && items.front().empty())
        return "\"\"";
    std::string text;
    for (std::size_t n = 0; n < items.size(); ++n) {
        const std::string& item = items[n];
        if (n > 0)
            text += ',';
        const bool quote =
            std::any_of(item.begin(), item.end(), [](char c) { return IsBlank(c) || c == ',' || c == '"'; });
        if (!quote) {
            text += item;
            continue;
        }
        text += '"';
        for (const char c : item) {
            if (c == '"')
                text += '"';
            text += c;
        }
        text += '"';
    }
    return text;
}

std::vector<std::string> DecodeCommaText(const std::string& stored) {
    const std::string text = stored.substr(0, stored.find('\0'));
    std::vector<std::string> items;
    std::size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
    };
    skipBlanks();
    while (i < text.size()) {
        std::string item;
        if (text[i] == '"') {
            for (++i; i < text.size(); ++i) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        ++i;
                    } else {
                        ++i;
                        break;
                    }
                }
                item += text[i];
            }
        } else {
            while (i < text.size() && !IsBlank(text[i]) && text[i] != ',')
                item += text[i++];
        }
        items.push_back(std::move(item));
        skipBlanks();
        if (i < text.size() && text[i] == ',') {
            if (i + 1 == text.size())
                items.emplace_back();
            ++i;
            skipBlanks();
        }
    }
    return items;
}

} // namespace quorvex
