#include "i18n/VersionText.h"

#include "i18n/Translation.h"
#include "support/Utilities.h"

#include <algorithm>
#include <vector>

namespace quorvex {

std::string GetVersionString(const std::string& fileVersion) {
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= fileVersion.size()) {
        const std::size_t end = std::min(fileVersion.find('.', pos), fileVersion.size());
        if (end > pos)
            parts.push_back(fileVersion.substr(pos, end - pos));
        pos = end + 1;
    }
    if (parts.empty())
        return {};
    std::string result = TranslateText("Version") + " " + parts[0];
    if (parts.size() > 1)
        result += "." + parts[1];
    if (parts.size() > 2 && parts[2] != "0")
        result += "." + parts[2];
    return result;
}

std::string GetVersionString() {
    return GetVersionString(GetFileVersion());
}

} // namespace quorvex
