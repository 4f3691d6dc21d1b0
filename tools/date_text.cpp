#include "tools/date_text.h"

#include <string>

namespace starwright {
namespace {

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// As printf's "%0*d" writes it (a minus sign counts towards the width), without printf, which
// would bring a formatting engine of its own into the DLL.
std::string ZeroPadded(int value, std::size_t width) {
    const std::string sign = value < 0 ? "-" : "";
    const std::string digits = std::to_string(value < 0 ? -static_cast<long long>(value) : value);
    const std::size_t used = sign.size() + digits.size();
    return sign + std::string(used < width ? width - used : 0, '0') + digits;
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
    return ZeroPadded(moment.year, 4) + ZeroPadded(moment.month, 2) + ZeroPadded(moment.day, 2);
}

}  // namespace starwright
