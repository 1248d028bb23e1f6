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

// The installed data folder seen from the running executable: the command lies in bin, the window
// program in libexec/quorvex, each at its own distance from share/quorvex. The first of the two
// relative paths that leads to a folder wins; when neither does, the one from bin.
std::filesystem::path InstalledDataFolder();

// The installed window program's folder (libexec/quorvex) seen from the command's folder (bin).
std::filesystem::path InstalledProgramFolder();

// The user's configuration folder: XDG_CONFIG_HOME when it is an absolute path, else ~/.config; empty
// when neither is known.
std::filesystem::path UserConfigFolder();

} // namespace quorvex
