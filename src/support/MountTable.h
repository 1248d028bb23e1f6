#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace quorvex {

enum class TDriveKind : std::uint8_t { Unknown, Fixed, Removable, Remote, Optical, RamDisk };

struct TMountEntry {
    std::string MountPoint; // unescaped bytes
    std::string FileSystem; // e.g. ext4, with a "fuse." subtype kept
    std::string Source;     // e.g. /dev/sda1
    TDriveKind Kind = TDriveKind::Unknown;
};

// Parses /proc/self/mountinfo text. Virtual file systems are left out, each mount point appears once
// (the first mount of it, in table order), and "\040"-style octal escapes are undone in full.
std::vector<TMountEntry> ParseMountInfo(std::istream& in);

// The live table of this process.
std::vector<TMountEntry> ReadMountTable();

// Every mount point in mountinfo text strictly below `directory` (bytes, canonical, no trailing slash),
// whatever its file system, virtual and bind mounts included: each once, in table order.
std::vector<std::string> MountPointsBelow(const std::string& directory, std::istream& mountInfo);
// The same against the live table, for a directory named by any path; none when `path` is no
// directory (a link to one holds nothing of its own).
std::vector<std::string> MountPointsBelow(const std::string& path);

// The local block-device file systems ("fixed drives"), in table order.
std::vector<TMountEntry> FixedDrives(const std::vector<TMountEntry>& table);

// True when `path` (no trailing delimiter except "/") is the mount point of a mounted local file system.
bool IsDriveRoot(const std::string& path, const std::vector<TMountEntry>& table);
bool IsDriveRoot(const std::string& path);

// Exposed for tests: decides the kind from the file system type, the source and the mount point.
TDriveKind ClassifyMount(const std::string& fileSystem, const std::string& source,
                         const std::string& mountPoint);

} // namespace quorvex
