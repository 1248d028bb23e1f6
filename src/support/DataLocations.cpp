#include "support/DataLocations.h"

#include <cstdlib>
#include <system_error>

#ifndef QUORVEX_DATA_FROM_BIN
#define QUORVEX_DATA_FROM_BIN "../share/quorvex"
#endif
#ifndef QUORVEX_DATA_FROM_LIBEXEC
#define QUORVEX_DATA_FROM_LIBEXEC "../../share/quorvex"
#endif
#ifndef QUORVEX_LIBEXEC_FROM_BIN
#define QUORVEX_LIBEXEC_FROM_BIN "../libexec/quorvex"
#endif

namespace quorvex {

std::filesystem::path ProgramFolder() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path(error) : exe.parent_path();
}

std::filesystem::path InstalledDataFolder() {
    const auto folder = ProgramFolder();
    auto fromBin = (folder / QUORVEX_DATA_FROM_BIN).lexically_normal();
    std::error_code error;
    if (std::filesystem::is_directory(fromBin, error))
        return fromBin;
    auto fromLibexec = (folder / QUORVEX_DATA_FROM_LIBEXEC).lexically_normal();
    return std::filesystem::is_directory(fromLibexec, error) ? fromLibexec : fromBin;
}

std::filesystem::path InstalledProgramFolder() {
    return (ProgramFolder() / QUORVEX_LIBEXEC_FROM_BIN).lexically_normal();
}

std::filesystem::path UserConfigFolder() {
    // A relative XDG_CONFIG_HOME is invalid by the base-directory rules and would depend on the
    // working folder.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/')
        return config;
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return std::filesystem::path(home) / ".config";
    return {};
}

namespace {

bool IsOfKind(const std::filesystem::path& path, TDataKind kind) {
    std::error_code error;
    return kind == TDataKind::Folder ? std::filesystem::is_directory(path, error)
                                     : std::filesystem::is_regular_file(path, error);
}

} // namespace

std::filesystem::path DataLocation(const std::string& name, TDataKind kind,
                                   const std::filesystem::path& executableFolder,
                                   const std::filesystem::path& installedFolder) {
    auto beside = executableFolder / name;
    if (IsOfKind(beside, kind))
        return beside;
    auto installed = installedFolder / name;
    if (IsOfKind(installed, kind))
        return installed;
    return beside;
}

std::filesystem::path DataLocation(const std::string& name, TDataKind kind) {
    return DataLocation(name, kind, ProgramFolder(), InstalledDataFolder());
}

std::filesystem::path UserDataFolder() {
    // XDG base directories: a relative value is to be ignored.
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/')
        return std::filesystem::path(data) / "quorvex";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr ? home : "") / ".local" / "share" / "quorvex";
}

} // namespace quorvex
