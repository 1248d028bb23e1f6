#include "support/Utilities.h"

#include "support/AsciiCase.h"
#include "support/Version.h"

#include <QStandardPaths>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace quorvex {
namespace {

constexpr std::array kTrueWords{"True", "Wahr"};
constexpr std::array kFalseWords{"False", "Falsch"};

} // namespace

std::optional<bool> StrToBool(std::string_view text) {
    for (const char* word : kTrueWords) {
        if (EqualsNoCase(text, word))
            return true;
    }
    for (const char* word : kFalseWords) {
        if (EqualsNoCase(text, word))
            return false;
    }
    long long number = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, number);
    if (!text.empty() && ec == std::errc() && ptr == end)
        return number != 0;
    return std::nullopt;
}

std::string BoolToStr(bool value) {
    return value ? kTrueWords[0] : kFalseWords[0];
}

TRect CenteredRect(int screenWidth, int screenHeight, int width, int height) {
    TRect r;
    r.Left = (screenWidth - width) / 2;
    r.Top = (screenHeight - height) / 2;
    r.Right = r.Left + width;
    r.Bottom = r.Top + height;
    return r;
}

std::string RectToString(const TRect& rect) {
    char text[64];
    std::snprintf(text, sizeof text, "%d,%d,%d,%d", rect.Left, rect.Top, rect.Right, rect.Bottom);
    return text;
}

std::optional<TRect> StringToRect(std::string_view text) {
    std::array<int, 4> values{};
    std::size_t pos = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (pos > text.size())
            return std::nullopt;
        const std::size_t end = std::min(text.find_first_of(",;", pos), text.size());
        std::string_view part = text.substr(pos, end - pos);
        while (!part.empty() && part.front() == ' ')
            part.remove_prefix(1);
        while (!part.empty() && part.back() == ' ')
            part.remove_suffix(1);
        if (!part.empty() && part.front() == '+')
            part.remove_prefix(1);
        const auto [ptr, ec] = std::from_chars(part.data(), part.data() + part.size(), values[i]);
        if (part.empty() || ec != std::errc() || ptr != part.data() + part.size())
            return std::nullopt;
        pos = end + 1;
    }
    return TRect{values[0], values[1], values[2], values[3]};
}

std::string GetSpecialFolder(TSpecialFolder folder) {
    QStandardPaths::StandardLocation location = QStandardPaths::HomeLocation;
    switch (folder) {
    case TSpecialFolder::Documents:
        location = QStandardPaths::DocumentsLocation;
        break;
    case TSpecialFolder::AppData:
        location = QStandardPaths::GenericConfigLocation;
        break;
    case TSpecialFolder::Desktop:
        location = QStandardPaths::DesktopLocation;
        break;
    case TSpecialFolder::Music:
        location = QStandardPaths::MusicLocation;
        break;
    case TSpecialFolder::Movies:
        location = QStandardPaths::MoviesLocation;
        break;
    case TSpecialFolder::Pictures:
        location = QStandardPaths::PicturesLocation;
        break;
    case TSpecialFolder::Downloads:
        location = QStandardPaths::DownloadLocation;
        break;
    case TSpecialFolder::Home:
        location = QStandardPaths::HomeLocation;
        break;
    }
    const QString path = QStandardPaths::writableLocation(location);
    if (path.isEmpty())
        return {};
    return IncludeTrailingPathDelimiter(path.toLocal8Bit().toStdString());
}

std::string GetFileVersion() {
    char text[64];
    std::snprintf(text, sizeof text, "%d.%d.%d.0", kVersionMajor, kVersionMinor, kVersionPatch);
    return text;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string RemoveChars(std::string_view text, std::string_view chars) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (chars.find(c) == std::string_view::npos)
            out.push_back(c);
    }
    return out;
}

std::string MakeValidFileName(std::string_view text, char replacement, std::string_view extra) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.back() == '.')
        text.remove_suffix(1);

    constexpr std::string_view kInvalid = "\"*/:<>?\\|";
    auto isInvalid = [&](char c) {
        return static_cast<unsigned char>(c) < 32 || kInvalid.find(c) != std::string_view::npos ||
               extra.find(c) != std::string_view::npos;
    };
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (!isInvalid(c)) {
            out.push_back(c);
        } else if (replacement != '\0' && (out.empty() || out.back() != replacement)) {
            out.push_back(replacement);
        }
    }
    return out;
}

std::string IncludeTrailingPathDelimiter(std::string path) {
    if (!path.empty() && path.back() != PathDelim)
        path.push_back(PathDelim);
    return path;
}

std::string ExcludeTrailingPathDelimiter(std::string path) {
    while (path.size() > 1 && path.back() == PathDelim)
        path.pop_back();
    return path;
}

std::string JoinPath(std::string_view dir, std::string_view name) {
    std::string out(dir);
    if (out.empty() || out.back() != PathDelim)
        out.push_back(PathDelim);
    out.append(name);
    return out;
}

} // namespace quorvex
