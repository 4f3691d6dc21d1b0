#pragma once
// The date that names a night's folder: the local wall clock moved back half a day, so that
// everything from noon to the next noon files under the evening's date.

#include <string>

#include "platform/platform.h"

namespace starwright {

// The same wall-clock moment twelve hours earlier, across day, month and year starts and the
// Gregorian leap days. Pure calendar arithmetic: a daylight-saving change is not looked at.
LocalDateTime HalfDayEarlier(const LocalDateTime& moment);

// "yyyymmdd": 4-digit year, 2-digit month and day, zero-padded.
std::string FormatYyyymmdd(const LocalDateTime& moment);

}  // namespace starwright
