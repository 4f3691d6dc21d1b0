// WindowsNumberText's text-to-number conversions (oleaut32 in the user's locale) against the
// table the portable twin is tested with. Run once per locale; the first argument names it
// ("en" or "de").

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/windows_platform.h"
#include "tests/number_parse_cases.h"
#include "tests/wine/test_main.h"

namespace starwright {
namespace {

TEST(WindowsNumberParse, UserLocaleIsTheOneAskedFor) {
    wchar_t decimal[8] = {};
    wchar_t thousands[8] = {};
    ASSERT_GT(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8), 0);
    ASSERT_GT(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousands, 8), 0);
    EXPECT_EQ(decimal[0], InGermanLocale() ? L',' : L'.');
    EXPECT_EQ(thousands[0], InGermanLocale() ? L'.' : L',');
}

TEST(WindowsNumberParse, ConvertsLikeThePortableTwin) {
    WindowsNumberText numbers;
    if (InGermanLocale()) number_parse_cases::ExpectConversions(numbers, number_parse_cases::kGerman);
    else number_parse_cases::ExpectConversions(numbers, number_parse_cases::kEnglish);
}

}  // namespace
}  // namespace starwright
