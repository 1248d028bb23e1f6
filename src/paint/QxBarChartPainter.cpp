#include "paint/QxBarChartPainter.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace quorvex {

long long RoundHalfEven(long double value) {
    const long double lower = std::floor(value);
    const long double diff = value - lower;
    auto result = static_cast<long long>(lower);
    if (diff > 0.5L || (diff == 0.5L && (result % 2) != 0))
        ++result;
    return result;
}

double ClampFraction(double fraction) {
    if (!(fraction > 0.0)) // also NaN
        return 0.0;
    return std::min(fraction, 1.0);
}

QRect GetBarRect(const QRect& rect, double fraction) {
    const int width = std::max(0, rect.width());
    const auto barWidth = static_cast<int>(
        RoundHalfEven(static_cast<long double>(width) * static_cast<long double>(ClampFraction(fraction))));
    return {rect.x(), rect.y(), barWidth, rect.height()};
}

void TQxBarChartPainterRegistry::Register(TQxBarChartPainterClass painterClass) {
    if (IndexOfPainterName(painterClass.PainterName) >= 0)
        throw std::logic_error(painterClass.PainterName.toStdString() + " ist bereits registriert!");
    classes_.push_back(std::make_unique<TQxBarChartPainterClass>(std::move(painterClass)));
}

const TQxBarChartPainterClass& TQxBarChartPainterRegistry::Items(int index) const {
    if (index < 0 || index >= Count())
        throw std::out_of_range("painter registry index out of range");
    return *classes_[static_cast<std::size_t>(index)];
}

int TQxBarChartPainterRegistry::IndexOfPainterName(const QString& painterName) const {
    for (int i = 0; i < Count(); ++i) {
        if (classes_[static_cast<std::size_t>(i)]->PainterName == painterName)
            return i;
    }
    return -1;
}

const TQxBarChartPainterClass*
TQxBarChartPainterRegistry::FindByPainterName(const QString& painterName) const {
    const int index = IndexOfPainterName(painterName);
    return index < 0 ? nullptr : classes_[static_cast<std::size_t>(index)].get();
}

namespace {

bool EqualIgnoringAsciiCase(const QString& a, const QString& b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x >= u'a' && x <= u'z')
            x = static_cast<char16_t>(x - u'a' + u'A');
        if (y >= u'a' && y <= u'z')
            y = static_cast<char16_t>(y - u'a' + u'A');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

const TQxBarChartPainterClass* TQxBarChartPainterRegistry::FindByClassName(const QString& className) const {
    for (const auto& painterClass : classes_) {
        if (EqualIgnoringAsciiCase(painterClass->ClassName, className))
            return painterClass.get();
    }
    return nullptr;
}

void TQxBarChartPainterRegistry::GetPainterNames(QStringList& names, bool sorted) const {
    names.clear();
    for (const auto& painterClass : classes_)
        names.append(painterClass->PainterName);
    if (sorted) {
        QCollator collator{QLocale()};
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::stable_sort(names.begin(), names.end(), [&collator](const QString& a, const QString& b) {
            return collator.compare(a, b) < 0;
        });
    }
}

TQxBarChartPainterRegistry& BarChartPainterRegistry() {
    static TQxBarChartPainterRegistry registry;
    static const bool filled = (RegisterBuiltInPainters(registry), true);
    static_cast<void>(filled);
    return registry;
}

} // namespace quorvex
