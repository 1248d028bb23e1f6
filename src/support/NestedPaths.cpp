#include "support/NestedPaths.h"

#include <algorithm>
#include <numeric>
#include <string_view>

namespace quorvex {
namespace {

std::string_view WithoutTrailingSlashes(const std::string& path) {
    std::string_view view(path);
    while (!view.empty() && view.back() == '/')
        view.remove_suffix(1);
    return view; // "/" becomes "", which the sweep treats as the root
}

// Byte order with '/' below every other byte, so that the entries inside a directory sort right after
// it and before any sibling that merely shares its prefix ("/a", "/a/b", "/a-b").
bool ComponentLess(std::string_view a, std::string_view b) {
    const auto rank = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte == '/' ? 0u : byte + 1u;
    };
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [&](char x, char y) { return rank(x) < rank(y); });
}

bool SameOrInside(std::string_view path, std::string_view directory) {
    return path.substr(0, directory.size()) == directory &&
           (path.size() == directory.size() || path[directory.size()] == '/');
}

} // namespace

std::size_t RemoveNestedPaths(std::vector<std::string>& paths) {
    std::vector<std::string_view> keys;
    keys.reserve(paths.size());
    for (const std::string& path : paths)
        keys.push_back(WithoutTrailingSlashes(path));

    std::vector<std::size_t> order(paths.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    // Stable, so that of equal paths the first listed comes first and is the one kept.
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return ComponentLess(keys[a], keys[b]); });

    std::vector<bool> drop(paths.size(), false);
    const std::string_view* kept = nullptr;
    for (const std::size_t index : order) {
        if (paths[index].empty() || (kept != nullptr && SameOrInside(keys[index], *kept)))
            drop[index] = true;
        else
            kept = &keys[index];
    }

    std::size_t next = 0;
    for (std::size_t index = 0; index < paths.size(); ++index)
        if (!drop[index]) {
            if (next != index)
                paths[next] = std::move(paths[index]);
            ++next;
        }
    const std::size_t removed = paths.size() - next;
    paths.resize(next);
    return removed;
}

} // namespace quorvex
