#pragma once

#include <cstdint>

namespace quorvex {

// The low 16 bits of an entry's attribute word, as the Linux walkers fill them in.
enum TFileAttribute : std::uint16_t {
    faHidden = 0x0002, // the name begins with "."
    faSystem = 0x0004, // neither a regular file, a directory nor a symbolic link
    faDirectory = 0x0010,
    faReparsePoint = 0x0400, // a symbolic link, or the mount point of another file system
    faCompressed = 0x0800,
};

} // namespace quorvex
