#pragma once

#include "i18n/TranslationMarkers.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace quorvex {

// What a file is for, as far as its name tells. The order is the order of the views' legends.
enum class TFileKind : std::uint8_t {
    Images,
    Video,
    Audio,
    Documents,
    Archives,
    SourceCode,
    Programs,
    Packages,
    Other,
};
inline constexpr std::size_t kFileKindCount = 9;

// The untranslated name of a kind, for TranslateText.
const char* FileKindName(TFileKind kind);
// The one colour of a kind wherever kinds are drawn (types view, treemap), as 0xRRGGBB.
std::uint32_t FileKindColour(TFileKind kind);

// The extension row of a name without one.
inline constexpr const char* kNoExtension = N_("(none)");

// Kinds and extensions from file names through the shared MIME database's glob rules; never from a
// file's content. Building one reads the database (some milliseconds); asking is a hash look-up, so
// a view can classify a million files in a fraction of a second. Read-only after construction, so
// threads may share one.
class TFileKinds {
public:
    TFileKinds();

    // The lower-cased (ASCII) last extension with its dot (".h"), or the compound one the database
    // knows (".tar.gz"); empty when the name has none: no dot, a leading dot only, or a trailing one.
    std::string ExtensionOf(std::string_view name) const;
    // The kind of an extension as ExtensionOf gives it.
    TFileKind KindOfExtension(std::string_view extension) const;
    // The kind of a file by its name. A versioned name (libz.so.1.2.13) is known by what its numbers
    // follow, as the database's own "*.so.[0-9]*" glob knows it.
    TFileKind KindOf(std::string_view name) const;

private:
    std::unordered_map<std::string, TFileKind> kinds_; // by extension with its dot, lower case
    std::unordered_set<std::string> compound_;         // ".tar.gz", ".pkg.tar.zst", ...
    std::size_t longestCompoundDots_ = 1;              // dots in the longest compound extension
};

} // namespace quorvex
