#include "shell/DialogPaths.h"

#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

namespace quorvex {
namespace {

bool SurvivesText(const std::string& name) {
    const QByteArray bytes = QByteArray::fromStdString(name);
    return QFile::encodeName(QFile::decodeName(bytes)) == bytes;
}

// The entry of `folder` (with a trailing "/") that reads as `name`; `name` itself when there is not
// exactly one.
std::string EntryReadingAs(const std::string& folder, const std::string& name) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return name;
    const QString text = QFile::decodeName(QByteArray::fromStdString(name));
    std::string found;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (QFile::decodeName(entry->d_name) == text) {
            found = entry->d_name;
            ++matches;
        }
    }
    return matches == 1 ? found : name;
}

} // namespace

bool EntryExists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

QUrl LocalFileUrl(const std::string& path) {
    return QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"));
}

std::string LocalPathOfUrl(const QUrl& url) {
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

std::string MatchNamesOnDisk(const std::string& path) {
    if (path.empty() || path.front() != '/' || EntryExists(path))
        return path;
    std::string matched;
    std::size_t start = 1;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        std::string name = path.substr(start, end - start);
        matched += '/';
        // Only a name that has been through text can differ from the disk's.
        if (name.find("\xef\xbf\xbd") != std::string::npos && !EntryExists(matched + name))
            name = EntryReadingAs(matched, name);
        matched += name;
        start = end + 1;
    }
    return matched;
}

std::string LongestTextualPrefix(const std::string& path) {
    std::string prefix;
    std::size_t start = 0;
    while (start < path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string::npos ? path.size() : slash + 1;
        const std::string part = path.substr(start, end - start);
        if (!SurvivesText(part))
            break;
        prefix += part;
        start = end;
    }
    return prefix;
}

} // namespace quorvex
