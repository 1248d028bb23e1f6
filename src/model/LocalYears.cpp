#include "model/LocalYears.h"

#include <algorithm>

namespace quorvex {

namespace {

std::int64_t LocalStart(int year, int month) {
    std::tm when{};
    when.tm_year = year - 1900;
    when.tm_mon = month;
    when.tm_mday = 1;
    when.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&when));
}

int YearByTimeZone(std::int64_t time) {
    const auto t = static_cast<std::time_t>(time);
    std::tm local{};
    if (::localtime_r(&t, &local) == nullptr)
        return 0;
    return local.tm_year + 1900;
}

} // namespace

TLocalYears::TLocalYears(std::time_t now) : currentYear_(YearByTimeZone(now)) {
    for (int year = kFirstYear; year <= currentYear_ + 1; ++year)
        yearStarts_.push_back(LocalStart(year, 0));
    for (int month = 0; month <= 12; ++month)
        monthStarts_[static_cast<std::size_t>(month)] = LocalStart(currentYear_, month);
}

int TLocalYears::Year(std::int64_t time) const {
    if (yearStarts_.size() < 2 || time < yearStarts_.front() || time >= yearStarts_.back())
        return YearByTimeZone(time);
    const auto after = std::upper_bound(yearStarts_.begin(), yearStarts_.end(), time);
    return kFirstYear + static_cast<int>(after - yearStarts_.begin()) - 1;
}

int TLocalYears::Month(std::int64_t time) const {
    if (time < monthStarts_.front() || time >= monthStarts_.back())
        return -1;
    const auto after = std::upper_bound(monthStarts_.begin(), monthStarts_.end(), time);
    return static_cast<int>(after - monthStarts_.begin()) - 1;
}

} // namespace quorvex
