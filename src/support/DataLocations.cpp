#include "support/DataLocations.h"

#include <system_error>

#ifndef QUORVEX_DATA_FROM_BIN
#define QUORVEX_DATA_FROM_BIN "../share/quorvex"
#endif

namespace quorvex {

std::filesystem::path ProgramFolder() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path(error) : exe.parent_path();
}

std::filesystem::path InstalledDataFolder() {
    return (ProgramFolder() / QUORVEX_DATA_FROM_BIN).lexically_normal();
}

std::filesystem::path DataLocation(const std::string& name, const std::filesystem::path& executableFolder,
                                   const std::filesystem::path& installedFolder) {
    auto beside = executableFolder / name;
    std::error_code error;
    if (std::filesystem::exists(beside, error))
        return beside;
    auto installed = installedFolder / name;
    if (std::filesystem::exists(installed, error))
        return installed;
    return beside;
}

std::filesystem::path DataLocation(const std::string& name) {
    return DataLocation(name, ProgramFolder(), InstalledDataFolder());
}

} // namespace quorvex
