#include "scan/ScanExclusions.h"

#include <fnmatch.h>

namespace quorvex {

bool TScanExclusions::Matches(const std::string& path) const {
    for (const std::string& pattern : patterns_) {
        if (::fnmatch(pattern.c_str(), path.c_str(), 0) == 0)
            return true;
        // A leading '*' takes in any head of the path, '/' included: what a tail matches, the whole
        // path matched already.
        if (!pattern.empty() && pattern.front() == '*')
            continue;
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            if (::fnmatch(pattern.c_str(), path.c_str() + slash + 1, 0) == 0)
                return true;
        }
    }
    return false;
}

} // namespace quorvex
