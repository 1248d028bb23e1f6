#include "support/PathShortening.h"

namespace quorvex {
namespace {

constexpr char kDelim = '/';
const std::string kEllipsisDir = ".../";
const std::string kRootEllipsisDir = "/.../";

// The byte offset just past the first `count` characters of UTF-8 `text`; a byte that is not part of
// a valid sequence counts as one character of its own.
std::size_t CharacterOffset(const std::string& text, std::size_t count) {
    std::size_t at = 0;
    while (count > 0 && at < text.size()) {
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
            ++at;
        --count;
    }
    return at;
}

// One step: the first directory of `dir` (not "/.../", not empty) becomes "...".
void CutFirstDirectory(std::string& dir) {
    if (dir.size() == 1 && dir[0] == kDelim) {
        dir.clear();
        return;
    }
    const bool rooted = dir.front() == kDelim;
    if (rooted)
        dir.erase(0, 1);
    // A part that starts with "." is taken for one already shortened: its ".../" goes.
    if (!dir.empty() && dir.front() == '.')
        dir.erase(0, CharacterOffset(dir, kEllipsisDir.size()));
    if (const std::size_t slash = dir.find(kDelim); slash != std::string::npos)
        dir = kEllipsisDir + dir.substr(slash + 1);
    else
        dir.clear();
    if (rooted)
        dir.insert(0, 1, kDelim);
}

} // namespace

std::string ShortenPathToWidth(const std::string& path, int maxWidth,
                               const std::function<int(const std::string&)>& measure) {
    // Linux paths have no drive; the drive steps stay so that the loop keeps its shape for any prefix.
    std::string drive;
    const std::size_t slash = path.rfind(kDelim);
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);

    // Every step shortens the directory part once it has been turned into ".../" form, so the loop
    // ends by itself; the bound only keeps a future change of a step from hanging the user interface.
    std::size_t stepsLeft = 2 * path.size() + 8;
    while ((!drive.empty() || !dir.empty()) && measure(std::string(drive).append(dir).append(name)) > maxWidth && stepsLeft-- > 0) {
        if (dir == kRootEllipsisDir) {
            drive.clear();
            dir = kEllipsisDir;
        } else if (dir.empty()) {
            drive.clear();
        } else {
            CutFirstDirectory(dir);
        }
    }
    return drive + dir + name;
}

} // namespace quorvex
