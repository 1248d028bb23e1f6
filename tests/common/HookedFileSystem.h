#pragma once

// The one file-system seam of the tests: the real calls, with a hook in front of each that may fail
// it (permission denied, an entry that vanished), slow it down or watch who calls. A hook returns 0
// to let the real call run, or the errno value the call should fail with. Hooks run on the walkers'
// threads, so whatever they capture must be safe to touch from several at once.

#include "support/PosixDir.h"

#include <functional>
#include <string>
#include <utility>

namespace quorvex::testing {

class HookedFileSystem : public TFileSystemApi {
public:
    using Hook = std::function<int(const char* name)>;
    Hook onOpen;   // OpenDirectory, by the name below its parent
    Hook onStat;   // StatEntry
    Hook onRemove; // RemoveEntry

    HookedFileSystem() = default;
    explicit HookedFileSystem(Hook open, Hook stat = {}, Hook remove = {})
        : onOpen(std::move(open)), onStat(std::move(stat)), onRemove(std::move(remove)) {}

    int OpenDirectory(int parentFd, const char* name) override {
        const int e = onOpen ? onOpen(name) : 0;
        return e != 0 ? -e : TFileSystemApi::OpenDirectory(parentFd, name);
    }
    int StatEntry(int dirFd, const char* name, TEntryInfo& info) override {
        const int e = onStat ? onStat(name) : 0;
        return e != 0 ? e : TFileSystemApi::StatEntry(dirFd, name, info);
    }
    int RemoveEntry(int dirFd, const char* name, bool directory) override {
        const int e = onRemove ? onRemove(name) : 0;
        return e != 0 ? e : TFileSystemApi::RemoveEntry(dirFd, name, directory);
    }
};

// A hook that fails every call on `name` with `error`.
inline HookedFileSystem::Hook FailOn(std::string name, int error) {
    return [name = std::move(name), error](const char* called) { return name == called ? error : 0; };
}

} // namespace quorvex::testing
