#include "desktop/Trash.h"

#include "desktop/GioPointers.h"
#include "i18n/Translation.h"
#include "i18n/TranslationMarkers.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/statvfs.h>

namespace quorvex {
namespace {

int ErrnoOf(const GError& error) {
    if (error.domain != G_IO_ERROR)
        return EIO;
    switch (error.code) {
    case G_IO_ERROR_NOT_FOUND:
        return ENOENT;
    case G_IO_ERROR_EXISTS:
        return EEXIST;
    case G_IO_ERROR_IS_DIRECTORY:
        return EISDIR;
    case G_IO_ERROR_NOT_DIRECTORY:
        return ENOTDIR;
    case G_IO_ERROR_NOT_EMPTY:
        return ENOTEMPTY;
    case G_IO_ERROR_FILENAME_TOO_LONG:
        return ENAMETOOLONG;
    case G_IO_ERROR_INVALID_FILENAME:
    case G_IO_ERROR_INVALID_ARGUMENT:
        return EINVAL;
    case G_IO_ERROR_TOO_MANY_LINKS:
        return ELOOP;
    case G_IO_ERROR_NO_SPACE:
        return ENOSPC;
    case G_IO_ERROR_PERMISSION_DENIED:
        return EACCES;
    case G_IO_ERROR_NOT_SUPPORTED:
        return ENOTSUP;
    case G_IO_ERROR_CANCELLED:
        return ECANCELED;
    case G_IO_ERROR_READ_ONLY:
        return EROFS;
    case G_IO_ERROR_TIMED_OUT:
        return ETIMEDOUT;
    case G_IO_ERROR_BUSY:
        return EBUSY;
    case G_IO_ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    default:
        return EIO;
    }
}

// The name as the user may read it: bytes that are not UTF-8 are shown escaped.
std::string DisplayName(const std::string& path) {
    g_autofree gchar* name = g_filename_display_name(path.c_str());
    return name;
}

TTrashResult Refuse(const std::string& path, const char* why) {
    TTrashResult result;
    result.Error = EINVAL;
    result.Message = Substitute(TranslateText("Cannot move \"%s\" to the trash"), DisplayName(path)) + ": " +
                     TranslateText(why);
    return result;
}

// GIO resolves "." and ".." by text before the kernel sees the path; through a symbolic link that names
// another item than the one the user chose, so such paths are refused rather than reinterpreted.
bool HasDotComponent(const std::string& path) {
    std::size_t begin = 0;
    while (begin <= path.size()) {
        std::size_t end = path.find('/', begin);
        if (end == std::string::npos)
            end = path.size();
        const std::string_view part(path.data() + begin, end - begin);
        if (part == "." || part == "..")
            return true;
        begin = end + 1;
    }
    return false;
}

} // namespace

TTrashResult MoveToTrash(const std::string& path) {
    // An empty or relative path would be taken against the working directory: never what was chosen.
    if (path.empty() || path.front() != '/')
        return Refuse(path, N_("not an absolute path"));
    if (path.find('\0') != std::string::npos)
        return Refuse(path, N_("the name holds a NUL byte"));
    if (HasDotComponent(path))
        return Refuse(path, N_("the path holds \".\" or \"..\""));

    const TFilePtr file(g_file_new_for_path(path.c_str()));
    GError* rawError = nullptr;
    const bool trashed = g_file_trash(file.get(), nullptr, &rawError);
    const TErrorPtr error(rawError);
    TTrashResult result;
    if (trashed && !error) {
        result.Outcome = TTrashOutcome::Trashed;
        return result;
    }
    if (!error) {
        result.Error = EIO;
        result.Message = Substitute(TranslateText("Cannot move \"%s\" to the trash"), DisplayName(path));
        return result;
    }
    result.Error = ErrnoOf(*error);
    result.Message = error->message ? error->message : std::strerror(result.Error);
    if (g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED)) {
        // GIO says the same of a read-only file system, where deleting for good would fail as well:
        // offering it would only lead to a second error.
        struct statvfs fsInfo {};
        if (::statvfs(path.c_str(), &fsInfo) == 0 && (fsInfo.f_flag & ST_RDONLY)) {
            result.Error = EROFS;
            result.Message += std::string(" (") + std::strerror(EROFS) + ")";
        } else {
            result.Outcome = TTrashOutcome::NoTrash;
        }
    }
    return result;
}

std::vector<TTrashedPath> MoveAllToTrash(const std::vector<std::string>& paths,
                                         const TTrashControl& control) {
    const TTrashFunction& trash = control.Trash ? control.Trash : TTrashFunction(MoveToTrash);
    std::vector<TTrashedPath> results;
    results.reserve(paths.size());
    for (const std::string& path : paths) {
        TTrashedPath entry{path, {}};
        if (control.Stop.stop_requested()) {
            entry.Result.Error = ECANCELED;
            entry.Result.Message = Substitute(TranslateText("Cancelled before \"%s\" was moved to the trash"),
                                              DisplayName(path));
            results.push_back(std::move(entry));
            continue;
        }
        entry.Result = trash(path);
        results.push_back(std::move(entry));
        if (control.Progress)
            control.Progress(results.size());
    }
    return results;
}

} // namespace quorvex
