#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <vector>

namespace quorvex {

// The local year (and for this year the month) of modification times, without asking the time zone
// for every file: the starts of the years since 1970 are worked out once.
class TLocalYears {
public:
    explicit TLocalYears(std::time_t now);
    int Year(std::int64_t time) const;
    static constexpr int kFirstYear = 1970;
    int CurrentYear() const { return currentYear_; }
    // 0 to 11 for a time in the current year, else -1.
    int Month(std::int64_t time) const;

private:
    std::vector<std::int64_t> yearStarts_; // from kFirstYear to the year after the current one
    std::array<std::int64_t, 13> monthStarts_{};
    int currentYear_ = kFirstYear;
};

} // namespace quorvex
