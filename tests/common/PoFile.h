#pragma once

// Reads the entries of a PO or POT file: enough of the format for the files xgettext and translators
// write (no contexts, no plural forms in this program).

#include "common/FileText.h"

#include <string>
#include <vector>

namespace quorvex::testing {

struct PoEntry {
    std::string Id;
    std::string Str;
    bool Fuzzy = false;
};

inline std::string PoUnquote(const std::string& line) {
    std::string text;
    const auto close = line.rfind('"');
    for (auto i = line.find('"') + 1; i < close; ++i) {
        if (line[i] == '\\' && i + 1 < close)
            text.push_back(line[++i] == 'n' ? '\n' : line[i] == 't' ? '\t' : line[i]);
        else
            text.push_back(line[i]);
    }
    return text;
}

// The entries with a non-empty msgid; the header is left out.
inline std::vector<PoEntry> ReadPo(const std::string& path) {
    std::vector<PoEntry> entries;
    PoEntry current;
    std::string* target = nullptr;
    bool fuzzyNext = false;
    auto flush = [&] {
        if (!current.Id.empty())
            entries.push_back(current);
        current = {};
        target = nullptr;
    };
    std::string text = ReadAll(path) + "\n";
    std::size_t from = 0;
    for (std::size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1) {
        const std::string line = text.substr(from, end - from);
        if (line.rfind("#,", 0) == 0 && line.find("fuzzy") != std::string::npos)
            fuzzyNext = true;
        if (line.rfind("msgid ", 0) == 0) {
            flush();
            current.Fuzzy = fuzzyNext;
            fuzzyNext = false;
            current.Id = PoUnquote(line);
            target = &current.Id;
        } else if (line.rfind("msgstr ", 0) == 0) {
            current.Str = PoUnquote(line);
            target = &current.Str;
        } else if (!line.empty() && line[0] == '"' && target != nullptr) {
            *target += PoUnquote(line);
        }
    }
    flush();
    return entries;
}

} // namespace quorvex::testing
