#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorvex {

// A file that could not be written. The message reads "<file>: <the C library's reason>".
class EFileWriteError : public std::runtime_error {
public:
    // Create: the file (or its temporary) could not be made; Write: a byte did not reach the file.
    enum class TStep { Create, Write };

    EFileWriteError(TStep step, std::string fileName, int errorCode);

    TStep Step() const { return step_; }
    const std::string& FileName() const { return fileName_; }
    int ErrorCode() const { return errorCode_; }
    std::string Reason() const;

private:
    TStep step_;
    std::string fileName_;
    int errorCode_;
};

// The one way the program writes a file, so that a full disk, a read-only file or a crash never
// costs the user the previous content.
//
// A regular file (after symbolic links, which stay as they are) is written to a temporary file in
// its folder, which has no name until the content is complete where the file system allows
// (so that a process killed or interrupted while writing leaves nothing behind); every write is checked, and
// Commit flushes it to the disk and renames it over the target only when all of it got there. Until then, and
// whenever anything fails, the target keeps every byte it had. A replaced file keeps its owner (when we may
// set it) and permission bits. A file or folder without any write permission bit is refused even for the
// superuser.
//
// Devices, pipes and sockets are written in place. So is a name that leads to one of this
// process's own descriptors (/dev/stdout, /dev/stderr, /proc/self/fd/N, a link to one of them):
// it is written through that descriptor, sharing its offset and append mode exactly as "-" does,
// so `--output /dev/stdout >> log` appends instead of replacing log.
//
// File names are bytes. Every failure raises EFileWriteError.
class TSafeFileWriter {
public:
    explicit TSafeFileWriter(std::string fileName);
    // Writes through a duplicate of `fd`, which stays open; `displayName` names it in errors.
    TSafeFileWriter(int fd, std::string displayName);
    TSafeFileWriter(const TSafeFileWriter&) = delete;
    TSafeFileWriter& operator=(const TSafeFileWriter&) = delete;
    // Without a successful Commit the temporary file goes and the target stays as it was.
    ~TSafeFileWriter();

    const std::string& FileName() const { return fileName_; }

    // Asked before each write and before the commit: when it answers true, the write fails with
    // EINTR and nothing is committed, so a long write can be stopped and its temporary goes with
    // the writer.
    void SetStopRequest(std::function<bool()> stopRequested) { stopRequested_ = std::move(stopRequested); }

    void Write(std::string_view bytes);
    // Flushes, closes and, for a regular file, renames over the target. Once only.
    void Commit();

private:
    void Discard() noexcept;
    std::string TemporaryName() const;
    // Gives the file written without a name (O_TMPFILE) its temporary name; 0 or an errno value.
    int NameUnnamed();

    std::string fileName_;
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    bool unnamed_ = false;
    std::function<bool()> stopRequested_;
};

// Why `fileName` could not be written, as an errno value; 0 when nothing is known to stand in the
// way. Writes nothing: lets a long job refuse before it starts.
int SafeWriteProblem(const std::string& fileName);

// `bytes` as the whole new content of `fileName`, through TSafeFileWriter.
void WriteFileSafely(const std::string& fileName, std::string_view bytes);

} // namespace quorvex
