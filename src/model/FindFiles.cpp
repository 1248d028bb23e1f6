#include "model/FindFiles.h"

#include "model/TreeOperations.h"
#include "support/AsciiCase.h"

#include <algorithm>
#include <queue>

namespace quorvex {
namespace {

// The class at `p[at]` ('['): whether `c` (lower-cased) is in it, and where the pattern goes on.
// False with `end` unchanged when the bracket is not closed, and so stands for itself.
bool InClass(std::string_view p, std::size_t at, char c, std::size_t& end, bool& inside) {
    std::size_t i = at + 1;
    const bool negated = i < p.size() && (p[i] == '!' || p[i] == '^');
    if (negated)
        ++i;
    bool found = false;
    for (bool first = true; i < p.size() && (first || p[i] != ']'); first = false) {
        char low = p[i];
        char high = low;
        if (i + 2 < p.size() && p[i + 1] == '-' && p[i + 2] != ']') {
            high = p[i + 2];
            i += 3;
        } else {
            ++i;
        }
        const auto u = static_cast<unsigned char>(c);
        found = found || (u >= static_cast<unsigned char>(low) && u <= static_cast<unsigned char>(high));
    }
    if (i >= p.size())
        return false;
    end = i + 1;
    inside = found != negated;
    return true;
}

} // namespace

TNameMatcher::TNameMatcher(std::string_view pattern)
    : pattern_(AsciiLowered(pattern)), glob_(pattern.find_first_of("*?[") != std::string_view::npos) {}

bool TNameMatcher::Matches(std::string_view name) const {
    if (glob_)
        return GlobMatches(name);
    if (pattern_.size() > name.size())
        return false;
    const char first = pattern_.front();
    const std::size_t last = name.size() - pattern_.size();
    for (std::size_t i = 0; i <= last; ++i) {
        if (AsciiLower(name[i]) != first)
            continue;
        std::size_t k = 1;
        while (k < pattern_.size() && AsciiLower(name[i + k]) == pattern_[k])
            ++k;
        if (k == pattern_.size())
            return true;
    }
    return false;
}

// The backtracking over the last star alone suffices: a later star only ever needs the earlier one to
// have taken less, which the retry from the last star covers.
bool TNameMatcher::GlobMatches(std::string_view name) const {
    const std::string_view p = pattern_;
    std::size_t pi = 0;
    std::size_t si = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starS = 0;
    while (si < name.size()) {
        if (pi < p.size()) {
            const char c = AsciiLower(name[si]);
            if (p[pi] == '*') {
                starP = ++pi;
                starS = si;
                continue;
            }
            std::size_t end = 0;
            bool inside = false;
            if (p[pi] == '?' || (p[pi] == '[' && InClass(p, pi, c, end, inside))) {
                if (p[pi] == '?' || inside) {
                    pi = p[pi] == '?' ? pi + 1 : end;
                    ++si;
                    continue;
                }
            } else if (p[pi] == c) {
                ++pi;
                ++si;
                continue;
            }
        }
        if (starP == std::string_view::npos)
            return false;
        pi = starP;
        si = ++starS;
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

std::string TFindHit::FullPath() const {
    if (IsDirectory)
        return Dir;
    return Dir.empty() || Dir.back() == '/' ? Dir + Name : Dir + "/" + Name;
}

TFindResult FindInTree(const TGroupNode* top, const TFindQuery& query, std::size_t limit) {
    struct Candidate {
        std::int64_t Size;
        std::int64_t ModifyTime;
        const TFileSystemNode* Node; // the directory of a file, or the folder found
        std::string Name;            // empty for a folder
    };
    const auto larger = [](const Candidate& a, const Candidate& b) { return a.Size > b.Size; };
    // The smallest kept on top, so each larger match replaces it.
    std::priority_queue<Candidate, std::vector<Candidate>, decltype(larger)> kept(larger);
    TFindResult result;
    const TNameMatcher matcher(query.Name);
    const bool allocated = query.SizeKind == TSizeKind::Allocated;
    const auto offer = [&](std::int64_t size, std::int64_t time, const TFileSystemNode* node,
                           std::string_view name) {
        ++result.Total;
        if (limit == 0 || (kept.size() == limit && size <= kept.top().Size))
            return;
        if (kept.size() == limit)
            kept.pop();
        kept.push({size, time, node, std::string(name)});
    };

    std::vector<const TGroupNode*> pending{top};
    while (!pending.empty()) {
        const TGroupNode* group = pending.back();
        pending.pop_back();
        if (const auto* dir = dynamic_cast<const TDirNode*>(group)) {
            dir->ForEachFile([&](const TPackedFile& file) {
                const std::int64_t size = allocated ? file.AllocatedSize : file.Size;
                if (size < query.MinSize)
                    return;
                if (query.ModifiedBefore > 0 &&
                    (file.ModifyTime <= 0 || file.ModifyTime >= query.ModifiedBefore))
                    return;
                if (!matcher.Empty() && !matcher.Matches(file.Name))
                    return;
                offer(size, file.ModifyTime, dir, file.Name);
            });
        }
        const TChildrenLock guard(group);
        for (const auto& child : guard.Children()) {
            // A file group's files are its directory's records, and listed files are records too.
            if (child->GetNodeType() == ntFile || child->GetNodeType() == ntFileGroup)
                continue;
            pending.push_back(static_cast<const TGroupNode*>(child.get()));
            if (query.ModifiedBefore > 0 || matcher.Empty() || !matcher.Matches(child->Name()))
                continue;
            const std::int64_t size = child->GetSize(query.SizeKind);
            if (size >= query.MinSize)
                offer(size, 0, child.get(), {});
        }
    }

    result.Hits.resize(kept.size());
    for (auto it = result.Hits.rbegin(); it != result.Hits.rend(); ++it) {
        const Candidate& c = kept.top();
        it->Dir = GetFullPath(c.Node);
        it->Name = c.Name;
        it->Size = c.Size;
        it->ModifyTime = c.ModifyTime;
        it->IsDirectory = c.Name.empty();
        kept.pop();
    }
    return result;
}

} // namespace quorvex
