#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quorvex {

// Glob patterns whose entries a scan neither enters nor counts, matched as ncdu's --exclude matches
// them, so that a tree scanned by both with the same patterns gives the same totals:
// - a pattern is tried, by fnmatch(3) without flags, against the entry's absolute path and against
//   every tail of it that begins after a '/': "b", "a/b", "*/b" and "/tmp/*/b" all match /tmp/r/a/b,
//   "mp/r/a/b" does not;
// - so '*', '?' and "[...]" match a '/' too ("r*b" matches /tmp/r/a/b), and a leading '/' anchors the
//   pattern at the file system's root;
// - directories and files alike; a pattern ending in '/' matches nothing;
// - never the scan's root itself, only what lies below it.
class TScanExclusions {
public:
    TScanExclusions() = default;
    explicit TScanExclusions(std::vector<std::string> patterns) : patterns_(std::move(patterns)) {}

    bool IsEmpty() const { return patterns_.empty(); }
    const std::vector<std::string>& Patterns() const { return patterns_; }
    // `path` is absolute.
    bool Matches(const std::string& path) const;

private:
    std::vector<std::string> patterns_;
};

} // namespace quorvex
