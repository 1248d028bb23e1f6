#include "shell/DriveNames.h"

#include "support/Utilities.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace quorvex {
namespace {

bool IsUnder(const std::string& path, std::string_view dir) {
    return path.size() >= dir.size() && path.compare(0, dir.size(), dir) == 0 &&
           (path.size() == dir.size() || path[dir.size()] == '/');
}

bool IsSystemMount(const std::string& mountPoint) {
    constexpr std::array<std::string_view, 4> kSystemDirs{"/dev", "/proc", "/sys", "/run"};
    if (IsUnder(mountPoint, "/run/media"))
        return false;
    return std::any_of(kSystemDirs.begin(), kSystemDirs.end(),
                       [&](std::string_view dir) { return IsUnder(mountPoint, dir); });
}

std::string CanonicalDevice(const std::string& path) {
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(path, error);
    return error ? path : resolved.string();
}

} // namespace

std::vector<TMountEntry> FavouriteDrives(const std::vector<TMountEntry>& table) {
    std::vector<TMountEntry> drives;
    std::copy_if(table.begin(), table.end(), std::back_inserter(drives), [](const TMountEntry& e) {
        return e.Kind != TDriveKind::Unknown && !IsSystemMount(e.MountPoint);
    });
    return drives;
}

std::string DriveDisplayName(const TMountEntry& drive, const std::string& label) {
    const std::string& mountPoint = drive.MountPoint;
    if (mountPoint == "/")
        return mountPoint;
    std::string name = label;
    if (name.empty()) {
        const std::string trimmed = ExcludeTrailingPathDelimiter(mountPoint);
        name = trimmed.substr(trimmed.rfind('/') + 1); // npos + 1 is 0: a relative name stays whole
    }
    return name + " (" + mountPoint + ")";
}

std::string DecodeUdevName(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            const int high = HexDigitValue(name[i + 2]);
            const int low = HexDigitValue(name[i + 3]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 3;
                continue;
            }
        }
        out.push_back(name[i]);
    }
    return out;
}

std::string FileSystemLabel(const TMountEntry& drive, const std::string& byLabelDir) {
    // A device is named by its path; a share ("srv:/export") or a RAM disk by a plain word.
    if (drive.Source.empty() || drive.Source.front() != '/') {
        if (drive.Source.empty() || drive.Source == "none" || drive.Source == drive.FileSystem)
            return {};
        return drive.Source;
    }
    const std::string device = CanonicalDevice(drive.Source);
    std::error_code error;
    for (std::filesystem::directory_iterator it(byLabelDir, error), end; !error && it != end;
         it.increment(error)) {
        if (CanonicalDevice(it->path().string()) == device)
            return DecodeUdevName(it->path().filename().string());
    }
    return {};
}

} // namespace quorvex
