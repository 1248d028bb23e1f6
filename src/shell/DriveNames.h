#pragma once

#include "support/MountTable.h"

#include <string>
#include <vector>

namespace quorvex {

// The drives the favourites offer: every classified mount except the system's own under /dev, /proc,
// /sys and /run (removable media under /run/media stay), in table order.
std::vector<TMountEntry> FavouriteDrives(const std::vector<TMountEntry>& table);

// "Label (mount point)", or the mount point's last name instead of a missing label; the root file
// system is just "/". Bytes in, bytes out.
std::string DriveDisplayName(const TMountEntry& drive, const std::string& label);

// The label of a device-backed drive from the links in `byLabelDir` (udev's "\x20" escapes undone);
// for a file system without a device (a network share, a named RAM disk) its source, unless that is
// just the file-system type or "none". Looks only at the device links, never at the mount point.
std::string FileSystemLabel(const TMountEntry& drive, const std::string& byLabelDir);

// Undoes udev's "\xHH" escapes of link names.
std::string DecodeUdevName(const std::string& name);

} // namespace quorvex
