#pragma once

#include <string>

namespace quorvex {

// "Version 2.0.3" from "2.0.3.459": the translated word, the first two parts and the third when it is
// not "0"; empty for an empty version.
std::string GetVersionString(const std::string& fileVersion);
// The same for the compiled-in version (GetFileVersion).
std::string GetVersionString();

} // namespace quorvex
