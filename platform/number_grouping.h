#pragma once
// Where a number text may hold the locale's thousands separator: only between groups of three
// digits before the decimal separator ("1,234.5", "12,345,678" in English; "1.234,5" in
// German). The system's conversions skip a thousands separator wherever it stands, so "0,5"
// typed for a half in an English locale would read as 5, and "-12.5" in a German one as -125.
// Both number texts refuse any other placement before converting, with this one rule, so they
// cannot disagree on it.

#include <string_view>

namespace starwright {

// `decimal` and `thousands` as the locale writes them (UTF-8). A text without a thousands
// separator passes, and so does any text when the locale has none or writes both alike.
// Where the locale groups with a no-break space, a plain space stands for it.
bool HasGroupedThousands(std::string_view text, std::string_view decimal, std::string_view thousands);

}  // namespace starwright
