#pragma once

// File names between our byte strings and Qt's file dialogs, which hold them as text: a name that
// is not UTF-8 cannot be written as a QString, but can travel percent-encoded in a URL.

#include <QUrl>

#include <string>

namespace quorvex {

// The file:// URL of `path`, its bytes percent-encoded as they are.
QUrl LocalFileUrl(const std::string& path);

// The bytes a local file:// URL carries, not a re-encoding of its decoded text.
std::string LocalPathOfUrl(const QUrl& url);

// Whether an entry of that name is there, a dangling link included.
bool EntryExists(const std::string& path);

// The dialogs built from Qt's widgets only know the names as text, where every byte that is not
// UTF-8 has become U+FFFD. A component of `path` that does not exist under those bytes is replaced
// by the one entry of its folder that reads the same; with none, or several, it stays as it is.
std::string MatchNamesOnDisk(const std::string& path);

// The longest leading part of `path` that is still itself once it has been text: the folder a
// dialog working on text can be opened in.
std::string LongestTextualPrefix(const std::string& path);

} // namespace quorvex
