#pragma once

// Catalogue files made by the tests: MO bytes laid out by hand (so that single fields can be broken)
// and PO text compiled by the real msgfmt.

#include "common/FileText.h"
#include "common/TempTree.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace quorvex::testing {

// An MO file: 28-byte header, the two tables, then the strings, each with its NUL.
struct MoLayout {
    std::string bytes;
    std::size_t originalsOffset = 0;
    std::size_t translationsOffset = 0;
    std::vector<std::size_t> stringOffsets; // keys first, then translations
};

inline void PutWord(std::string& bytes, std::size_t at, std::uint32_t value, bool bigEndian) {
    for (int i = 0; i < 4; ++i) {
        const int shift = bigEndian ? 24 - 8 * i : 8 * i;
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> shift) & 0xFF);
    }
}

inline MoLayout MakeMo(const std::vector<std::pair<std::string, std::string>>& entries,
                       bool bigEndian = false) {
    MoLayout mo;
    const auto count = static_cast<std::uint32_t>(entries.size());
    mo.originalsOffset = 28;
    mo.translationsOffset = 28 + 8 * count;
    std::size_t next = mo.translationsOffset + 8 * count;
    mo.bytes.assign(next, '\0');
    PutWord(mo.bytes, 0, 0x950412de, bigEndian);
    PutWord(mo.bytes, 8, count, bigEndian);
    PutWord(mo.bytes, 12, static_cast<std::uint32_t>(mo.originalsOffset), bigEndian);
    PutWord(mo.bytes, 16, static_cast<std::uint32_t>(mo.translationsOffset), bigEndian);
    for (int table = 0; table < 2; ++table) {
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::string& text = table == 0 ? entries[i].first : entries[i].second;
            const std::size_t entry = (table == 0 ? mo.originalsOffset : mo.translationsOffset) + 8 * i;
            PutWord(mo.bytes, entry, static_cast<std::uint32_t>(text.size()), bigEndian);
            PutWord(mo.bytes, entry + 4, static_cast<std::uint32_t>(next), bigEndian);
            mo.stringOffsets.push_back(next);
            mo.bytes += text;
            mo.bytes.push_back('\0');
            next = mo.bytes.size();
        }
    }
    return mo;
}

inline const char* const kUtf8Header = "Content-Type: text/plain; charset=UTF-8\n";

// Writes `po` (the header is added) and compiles it with msgfmt into `mo`; false when msgfmt fails.
inline bool CompilePo(const std::string& mo, const std::map<std::string, std::string>& messages,
                      const std::string& charset = "UTF-8") {
    std::filesystem::create_directories(std::filesystem::path(mo).parent_path());
    std::string text = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=" + charset + "\\n\"\n\n";
    for (const auto& [id, str] : messages)
        text += "msgid \"" + id + "\"\nmsgstr \"" + str + "\"\n\n";
    const std::string po = mo + ".po";
    WriteAll(po, text);
    const std::string command = "msgfmt -o '" + mo + "' '" + po + "' 2>/dev/null";
    const bool ok = std::system(command.c_str()) == 0;
    std::filesystem::remove(po);
    return ok;
}

// A catalogue folder with language folders: locale/<code>/LC_MESSAGES/default.mo.
class CatalogueFolder {
public:
    std::string Path() const { return tree_ / "locale"; }
    std::string Add(const std::string& code, const std::map<std::string, std::string>& messages,
                    const std::string& charset = "UTF-8") const {
        const std::string mo = Path() + "/" + code + "/LC_MESSAGES/default.mo";
        if (!CompilePo(mo, messages, charset))
            throw std::runtime_error("msgfmt failed for " + code);
        return mo;
    }
    std::string Scratch(const std::string& name) const { return tree_ / name; }

private:
    TempTree tree_;
};

} // namespace quorvex::testing
