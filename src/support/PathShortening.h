#pragma once

#include <functional>
#include <string>

namespace quorvex {

// Fits `path` into `maxWidth` (as `measure` counts it) by replacing its leading directories with
// ".../", one at a time, keeping the name whole. The name alone may still be wider.
std::string ShortenPathToWidth(const std::string& path, int maxWidth,
                               const std::function<int(const std::string&)>& measure);

} // namespace quorvex
