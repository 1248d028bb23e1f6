#include "support/MountTable.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>
#include <sys/stat.h>

namespace quorvex {
namespace {

constexpr std::array<std::string_view, 24> kVirtualFileSystems{
    "proc",    "sysfs",   "devtmpfs", "devpts", "cgroup",    "cgroup2",  "securityfs", "debugfs",
    "tracefs", "pstore",  "bpf",      "mqueue", "hugetlbfs", "configfs", "fusectl",    "binfmt_misc",
    "autofs",  "overlay", "squashfs", "nsfs",   "efivarfs",  "ramfs",    "rpc_pipefs", "selinuxfs"};

constexpr std::array<std::string_view, 10> kRemoteFileSystems{
    "nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "ncpfs", "afs", "9p", "fuse.rclone"};

bool IsVirtual(std::string_view fs) {
    return std::find(kVirtualFileSystems.begin(), kVirtualFileSystems.end(), fs) != kVirtualFileSystems.end();
}

std::string Unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto isOct = [](char c) { return c >= '0' && c <= '7'; };
        if (s[i] == '\\' && i + 3 < s.size() && isOct(s[i + 1]) && isOct(s[i + 2]) && isOct(s[i + 3])) {
            out.push_back(static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
            i += 3;
            continue;
        }
        out.push_back(s[i]);
    }
    return out;
}

std::string ReadSysFile(const std::string& path) {
    std::ifstream f(path);
    std::string value;
    std::getline(f, value);
    return value;
}

bool IsRemovableDevice(const std::string& source) {
    if (source.rfind("/dev/", 0) != 0)
        return false;
    std::string dev = source.substr(5);
    // A partition's removable flag lives on its disk: sdb1 -> sdb, mmcblk0p1 -> mmcblk0, nvme0n1p2 ->
    // nvme0n1.
    for (const std::string& candidate :
         {dev, dev.substr(0, dev.find_last_not_of("0123456789") + 1), dev.substr(0, dev.rfind('p'))}) {
        if (!candidate.empty() && ReadSysFile("/sys/block/" + candidate + "/removable") == "1")
            return true;
    }
    return false;
}

} // namespace

TDriveKind ClassifyMount(const std::string& fileSystem, const std::string& source,
                         const std::string& mountPoint) {
    if (std::find(kRemoteFileSystems.begin(), kRemoteFileSystems.end(), fileSystem) !=
        kRemoteFileSystems.end())
        return TDriveKind::Remote;
    if (fileSystem == "iso9660" || fileSystem == "udf")
        return TDriveKind::Optical;
    if (fileSystem == "tmpfs")
        return TDriveKind::RamDisk;
    if (mountPoint.rfind("/media/", 0) == 0 || mountPoint.rfind("/run/media/", 0) == 0)
        return TDriveKind::Removable;
    if (source.rfind("/dev/", 0) == 0)
        return IsRemovableDevice(source) ? TDriveKind::Removable : TDriveKind::Fixed;
    if (fileSystem.rfind("fuse", 0) == 0)
        return TDriveKind::Remote;
    return TDriveKind::Unknown;
}

std::vector<TMountEntry> ParseMountInfo(std::istream& in) {
    std::vector<TMountEntry> result;
    std::string line;
    while (std::getline(in, line)) {
        // id parent major:minor root mount-point options [optional fields...] - fstype source super-options
        std::istringstream fields(line);
        std::string id, parent, devno, root, mountPoint, options, word;
        if (!(fields >> id >> parent >> devno >> root >> mountPoint >> options))
            continue;
        while (fields >> word && word != "-") {
        }
        std::string fileSystem, source;
        if (word != "-" || !(fields >> fileSystem))
            continue;
        fields >> source;
        if (IsVirtual(fileSystem))
            continue;
        TMountEntry entry;
        entry.MountPoint = Unescape(mountPoint);
        entry.FileSystem = fileSystem;
        entry.Source = Unescape(source);
        const bool seen = std::any_of(result.begin(), result.end(),
                                      [&](const TMountEntry& e) { return e.MountPoint == entry.MountPoint; });
        if (seen)
            continue;
        entry.Kind = ClassifyMount(entry.FileSystem, entry.Source, entry.MountPoint);
        result.push_back(std::move(entry));
    }
    return result;
}

std::vector<TMountEntry> ReadMountTable() {
    std::ifstream in("/proc/self/mountinfo");
    return ParseMountInfo(in);
}

std::vector<std::string> MountPointsBelow(const std::string& directory, std::istream& mountInfo) {
    const std::string prefix = directory == "/" ? directory : directory + "/";
    std::vector<std::string> below;
    std::string line;
    while (std::getline(mountInfo, line)) {
        std::istringstream fields(line);
        std::string id, parent, devno, root, mountPoint;
        if (!(fields >> id >> parent >> devno >> root >> mountPoint))
            continue;
        std::string point = Unescape(mountPoint);
        if (point.size() > prefix.size() && point.compare(0, prefix.size(), prefix) == 0 &&
            std::find(below.begin(), below.end(), point) == below.end())
            below.push_back(std::move(point));
    }
    return below;
}

std::vector<std::string> MountPointsBelow(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return {};
    // The table names mounts by their canonical paths; the item may be named through a link above it.
    const std::unique_ptr<char, decltype(&std::free)> canonical(::realpath(path.c_str(), nullptr),
                                                                &std::free);
    std::ifstream in("/proc/self/mountinfo");
    return MountPointsBelow(canonical != nullptr ? std::string(canonical.get()) : path, in);
}

std::vector<TMountEntry> FixedDrives(const std::vector<TMountEntry>& table) {
    std::vector<TMountEntry> fixed;
    std::copy_if(table.begin(), table.end(), std::back_inserter(fixed),
                 [](const TMountEntry& e) { return e.Kind == TDriveKind::Fixed; });
    return fixed;
}

bool IsDriveRoot(const std::string& path, const std::vector<TMountEntry>& table) {
    return std::any_of(table.begin(), table.end(), [&](const TMountEntry& e) {
        return e.MountPoint == path && e.Kind != TDriveKind::Unknown;
    });
}

bool IsDriveRoot(const std::string& path) {
    return IsDriveRoot(path, ReadMountTable());
}

} // namespace quorvex
