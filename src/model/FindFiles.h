#pragma once

#include "model/FileSystemNode.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

// A name test typed by a person: part of a name, or a glob when the text has * ? or [. ASCII letters
// match either case; other bytes only themselves, as names are bytes in no known encoding.
class TNameMatcher {
public:
    explicit TNameMatcher(std::string_view pattern);

    bool Empty() const { return pattern_.empty(); }
    bool IsGlob() const { return glob_; }
    bool Matches(std::string_view name) const;

private:
    bool GlobMatches(std::string_view name) const;

    std::string pattern_; // lower-cased
    bool glob_ = false;
};

// What a find looks for. A test left at its default lets everything through.
struct TFindQuery {
    std::string Name;
    std::int64_t MinSize = 0;
    // Seconds since the epoch: only what was last modified before it. Folders, whose times the scan
    // does not keep, and files of unknown time are left out while it is set.
    std::int64_t ModifiedBefore = 0;
    TSizeKind SizeKind = TSizeKind::Logical;

    bool IsEmpty() const { return Name.empty() && MinSize <= 0 && ModifiedBefore <= 0; }
};

struct TFindHit {
    // A file: the full path of its directory and its name; a folder: its own full path, no name.
    std::string Dir;
    std::string Name;
    std::int64_t Size = 0;
    std::int64_t ModifyTime = 0;
    bool IsDirectory = false;

    std::string FullPath() const;
};

struct TFindResult {
    std::vector<TFindHit> Hits; // largest first
    std::size_t Total = 0;      // every match, the hits included
};

// The `limit` largest files (from the records, unlisted folders included) and folders below `top`
// that pass `query`. Reads the tree as ForEachRecordedFile does, so it may run beside a scan but not
// beside the removal of a directory; it keeps no node once it returns.
TFindResult FindInTree(const TGroupNode* top, const TFindQuery& query, std::size_t limit);

} // namespace quorvex
