#include "export/XmlEscape.h"

#include <QList>
#include <QString>
#include <QStringDecoder>

namespace quorvex {
namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

// Appends the escape for an ASCII character; false when it stands for itself.
bool AppendAsciiEscape(std::string& out, char32_t c, TMarkup markup) {
    switch (c) {
    case '"':
        out += "&quot;";
        return true;
    case '&':
        out += "&amp;";
        return true;
    case '\'':
        out += markup == TMarkup::Html ? "&#39;" : "&apos;";
        return true;
    case '<':
        out += "&lt;";
        return true;
    case '>':
        out += "&gt;";
        return true;
    case '\r':
        out += "&#13;";
        return true;
    case '\n':
        if (markup != TMarkup::XmlAttribute)
            return false;
        out += "&#10;";
        return true;
    case '\t':
        if (markup != TMarkup::XmlAttribute)
            return false;
        out += "&#9;";
        return true;
    default:
        if (c < 0x20) {
            out += kReplacement;
            return true;
        }
        return false;
    }
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string XmlEscape(std::string_view text, TMarkup markup) {
    std::string out;
    out.reserve(text.size() + 16);
    bool ascii = true;
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
        if (!AppendAsciiEscape(out, static_cast<unsigned char>(c), markup))
            out += c;
    }
    if (ascii)
        return out;

    // Qt's decoder turns every malformed, overlong or surrogate sequence into U+FFFD. A leading U+FEFF is
    // part of the name, not a byte-order mark: QString::fromUtf8 would drop it.
    out.clear();
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    const QString decoded = decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    for (const char32_t c : decoded.toUcs4()) {
        if (c < 0x80) {
            if (!AppendAsciiEscape(out, c, markup))
                out += static_cast<char>(c);
        } else if (c == 0xFFFE || c == 0xFFFF) {
            out += kReplacement;
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

} // namespace quorvex
