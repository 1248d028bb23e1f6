#pragma once

#include <QString>

#include <string>

namespace quorvex {

// File names are bytes; Qt shows and takes them as QString. These convert through the file-name
// codec (UTF-8), which replaces bytes that are not UTF-8: the text is for showing, and a path that
// acts on the disk must come from the node's bytes, never from a round trip through these.
QString DecodePath(const std::string& bytes);
std::string EncodePath(const QString& text);

} // namespace quorvex
