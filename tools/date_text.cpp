#include "tools/date_text.h"

#include <cstdio>

namespace starwright {
namespace {

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

LocalDateTime HalfDayEarlier(const LocalDateTime& moment) {
    LocalDateTime earlier = moment;
    if (earlier.hour >= 12) {
        earlier.hour -= 12;
        return earlier;
    }
    earlier.hour += 12;
    if (--earlier.day >= 1) return earlier;
    if (--earlier.month < 1) {
        earlier.month = 12;
        --earlier.year;
    }
    earlier.day = DaysInMonth(earlier.year, earlier.month);
    return earlier;
}

std::string FormatYyyymmdd(const LocalDateTime& moment) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d", moment.year, moment.month, moment.day);
    return text;
}

}  // namespace starwright
