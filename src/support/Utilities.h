#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvex {

// Boolean words: "True"/"Wahr" and "False"/"Falsch" besides the usual ones, compared without case.
// Numbers count too (0 is false, anything else true). Nothing else converts.
std::optional<bool> StrToBool(std::string_view text);
// The first word of each list: "True" / "False".
std::string BoolToStr(bool value);

struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

// A width x height rectangle centred on a screen of the given size (truncating division).
TRect CenteredRect(int screenWidth, int screenHeight, int width, int height);
// "left,top,right,bottom".
std::string RectToString(const TRect& rect);
// Four decimal integers, each ended by "," or ";" or the end of the text; nullopt when one is missing
// or not a number.
std::optional<TRect> StringToRect(std::string_view text);

enum class TSpecialFolder { Documents, AppData, Desktop, Music, Movies, Pictures, Downloads, Home };
// The folder's path with a trailing "/", or empty when the platform has none.
std::string GetSpecialFolder(TSpecialFolder folder);

// The compiled-in version as four numbers joined by "." ("0.1.0.0").
std::string GetFileVersion();

std::string RemoveChars(std::string_view text, std::string_view chars);

// 0..15 for a hexadecimal digit of either case, -1 for anything else.
int HexDigitValue(char c);
// Trims blanks and control characters, drops one final ".", and replaces each run of characters that
// cannot stand in a file name by one `replacement` ('\0' drops them). `extra` adds invalid characters.
std::string MakeValidFileName(std::string_view text, char replacement, std::string_view extra = {});

// Path helpers shared by the model, the scanner and the shell actions. Paths are byte strings.
inline constexpr char PathDelim = '/';
std::string IncludeTrailingPathDelimiter(std::string path);
// Never turns "/" into an empty string.
std::string ExcludeTrailingPathDelimiter(std::string path);
// `dir` + "/" + `name`, without doubling the delimiter when `dir` already ends in one.
std::string JoinPath(std::string_view dir, std::string_view name);

} // namespace quorvex
