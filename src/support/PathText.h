#pragma once

#include <QString>

#include <string>

namespace quorvex {

// File names are bytes; Qt shows and takes them as QString. These convert through the file-name
// codec, which maps undecodable bytes to reversible escapes, so a name survives the round trip.
QString DecodePath(const std::string& bytes);
std::string EncodePath(const QString& text);

} // namespace quorvex
