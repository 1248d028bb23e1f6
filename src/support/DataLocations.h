#pragma once

#include <filesystem>
#include <string>

namespace quorvex {

// Where the program's own data files live (log.cfg, the "locale" catalogue folder). The folder of the
// running executable comes first, so the build tree and an unpacked copy keep working; an installed
// program has nothing beside /usr/bin/quorvex and reads <prefix>/share/quorvex instead. That second
// folder is found relative to the executable, so an install into any prefix works without rebuilding.
std::filesystem::path DataLocation(const std::string& name);

// The rule itself, for tests: `name` in `executableFolder` if it exists there (as a file or a folder),
// else in `installedFolder`; when neither has it, the place beside the executable.
std::filesystem::path DataLocation(const std::string& name, const std::filesystem::path& executableFolder,
                                   const std::filesystem::path& installedFolder);

// The folder of the running executable (symbolic links resolved), or the working folder when the
// kernel does not say.
std::filesystem::path ProgramFolder();

// <executable folder>/<relative path from the installed bin folder to the installed data folder>.
std::filesystem::path InstalledDataFolder();

} // namespace quorvex
