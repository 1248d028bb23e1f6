#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quorvex {

// Drops every entry that names the same item as an earlier entry, or an item inside another entry's
// directory, so that nothing is handed to a deletion twice. Paths are absolute byte strings compared
// exactly, component by component: "/a/b" holds "/a/b/c" but not "/a/bc", "/" holds everything, a
// trailing "/" is ignored. Empty entries go as well. The remaining entries keep their order; returns
// how many were removed.
std::size_t RemoveNestedPaths(std::vector<std::string>& paths);

} // namespace quorvex
