#include "model/SizeFormat.h"

#include "i18n/Translation.h"

#include <QLocale>

#include <array>
#include <charconv>
#include <cmath>
#include <iterator>

namespace quorvex {
namespace {

constexpr std::array<const char*, 5> kUnits{"Byte", "KB", "MB", "GB", "TB"};

struct Scaled {
    double value;
    int unit;
    bool overflow; // n >= 1024^5: expressed in TB as a whole number
};

Scaled Scale(std::int64_t n) {
    double v = static_cast<double>(n);
    int divisions = 0;
    while (v >= 1024.0 && divisions < 5) {
        v /= 1024.0;
        ++divisions;
    }
    if (divisions == 5)
        return {v * 1024.0, 4, true};
    return {v, divisions, false};
}

std::string Cut(const std::string& text, char decimalSeparator, int digits) {
    const auto at = text.find(decimalSeparator);
    if (at == std::string::npos)
        return text;
    return digits == 0 ? text.substr(0, at) : text.substr(0, std::min(text.size(), at + 1 + digits));
}

double RoundTo(double v, int digits) {
    const double scale = std::pow(10.0, digits);
    return std::nearbyint(v * scale) / scale; // the default rounding mode: nearest, ties to even
}

} // namespace

std::string FormatSizeTruncated(std::int64_t bytes, char decimalSeparator) {
    const Scaled s = Scale(bytes);
    const int digits = (s.overflow || s.value >= 100) ? 0 : (s.value < 10 ? 2 : 1);
    const std::string number = Cut(FormatGeneral(s.value, decimalSeparator), decimalSeparator, digits);
    return number + " " + kUnits[static_cast<std::size_t>(s.unit)];
}

std::string FormatSizeRounded(std::int64_t bytes, char decimalSeparator) {
    const Scaled s = Scale(bytes);
    double v = 0;
    if (s.overflow || s.value >= 100)
        v = RoundTo(s.value, 0);
    else if (s.value < 10)
        v = RoundTo(s.value, 2);
    else
        v = RoundTo(s.value, 1);
    return FormatGeneral(v, decimalSeparator) + " " + kUnits[static_cast<std::size_t>(s.unit)];
}

char LocaleDecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 && point.at(0).unicode() < 0x80 ? static_cast<char>(point.at(0).unicode()) : '.';
}

std::string FormatSizeTruncated(std::int64_t bytes) {
    return FormatSizeTruncated(bytes, LocaleDecimalSeparator());
}
std::string FormatSizeRounded(std::int64_t bytes) {
    return FormatSizeRounded(bytes, LocaleDecimalSeparator());
}

TSizeFormatter SizeFormatterFor(int fileSizeRounding) {
    return fileSizeRounding == 1 ? static_cast<TSizeFormatter>(&FormatSizeRounded)
                                 : static_cast<TSizeFormatter>(&FormatSizeTruncated);
}

std::string FormatCount(std::int64_t count) {
    return QLocale().toString(static_cast<qlonglong>(count)).toStdString();
}

std::string FormatDuration(double seconds) {
    return QLocale().toString(seconds, 'f', 2).toStdString() + " " + TranslateText("sec.");
}

std::string FormatGeneral(double value, char decimalSeparator) {
    // to_chars never consults the C locale: printf would write the process locale's separator (which Qt's
    // start-up switches to the user's), and a multi-byte one such as U+066B could then not be cut.
    char text[64];
    const auto result =
        std::to_chars(std::begin(text), std::end(text), value, std::chars_format::general, 15);
    std::string out(text, result.ptr);
    for (char& c : out) {
        if (c == '.')
            c = decimalSeparator;
    }
    return out;
}

} // namespace quorvex
