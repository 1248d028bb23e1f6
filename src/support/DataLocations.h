#pragma once

#include <filesystem>
#include <string>

namespace quorvex {

// What a data location must be to count: an installed program shares its folder with every other
// program of the prefix, and /usr/bin/locale, say, is the C library's program, not our catalogues.
enum class TDataKind { Folder, RegularFile };

// Where the program's own data files live (log.cfg, the "locale" catalogue folder). The folder of the
// running executable comes first, so the build tree and an unpacked copy keep working; an installed
// program has nothing of its own beside /usr/bin/quorvex and reads <prefix>/share/quorvex instead.
// That second folder is found relative to the executable, so an install into any prefix works without
// rebuilding.
std::filesystem::path DataLocation(const std::string& name, TDataKind kind);

// The rule itself, for tests: `name` in `executableFolder` if it is of `kind` there (symbolic links
// followed), else in `installedFolder` if it is of `kind` there; when neither has it, the place
// beside the executable.
std::filesystem::path DataLocation(const std::string& name, TDataKind kind,
                                   const std::filesystem::path& executableFolder,
                                   const std::filesystem::path& installedFolder);

// The folder of the running executable (symbolic links resolved), or the working folder when the
// kernel does not say.
std::filesystem::path ProgramFolder();

// The user's own data folder for this program: $XDG_DATA_HOME/quorvex, else ~/.local/share/quorvex.
// Made by whoever writes into it.
std::filesystem::path UserDataFolder();

// <executable folder>/<relative path from the installed bin folder to the installed data folder>.
std::filesystem::path InstalledDataFolder();

} // namespace quorvex
