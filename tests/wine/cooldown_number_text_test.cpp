// WindowsNumberText's formatting in the user's locale, checked against the texts the
// cool-down shows. Run once per locale; the first argument names it ("en" or "de").

#include <gtest/gtest.h>
#include <windows.h>

#include <limits>
#include <string>

#include "base/failure.h"
#include "platform/windows_platform.h"
#include "tests/wine/test_main.h"

namespace starwright {
namespace {

TEST(WindowsNumberText, UserLocaleIsTheOneAskedFor) {
    wchar_t decimal[8] = {};
    ASSERT_GT(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8), 0);
    EXPECT_EQ(decimal[0], static_cast<wchar_t>(DecimalSeparator()));
}

TEST(WindowsNumberText, FixedOneDecimal) {
    struct Case { double value; const char* text; };
    const Case cases[] = {
        {-12.34, "-12.3"}, {-12.96, "-13.0"}, {5.96, "6.0"},       {-0.4, "-0.4"},     {0, "0.0"},
        {0.05, "0.1"},     {9.96, "10.0"},    {-9.95, "-10.0"},    {-12.95, "-13.0"},  {-35, "-35.0"},
        {40000, "40000.0"}, {123456.789, "123456.8"}, {14.668, "14.7"},
        {-0.04, "-0.0"},   {-0.0, "0.0"},     {12.25, "12.3"},   {0.04, "0.0"},
    };
    WindowsNumberText numbers;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.value);
        EXPECT_EQ(numbers.FormatFixed1(k.value), Localised(k.text));
    }
}

// Windows' texts (as VBA's CStr writes a Double): below 1E-04 and from 1E+15 in E notation, which
// not every oleaut32 under Wine gives.
TEST(WindowsNumberText, GeneralForm) {
    struct Case { double value; const char* text; };
    const Case cases[] = {
        {-31.150000000000002, "-31.15"}, {-10.68, "-10.68"}, {0, "0"}, {-50, "-50"}, {1e20, "1E+20"},
        {0.0001, "0.0001"}, {0.00001, "1E-05"}, {1.0 / 3, "0.333333333333333"}, {-29163.52, "-29163.52"},
        {123456789012345, "123456789012345"}, {-0.0, "0"}, {1e15, "1E+15"}, {-1.25e-7, "-1.25E-07"},
    };
    WindowsNumberText numbers;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.value);
        EXPECT_EQ(numbers.FormatGeneral(k.value), Localised(k.text));
    }
}

// oleaut32 turns NaN and infinities into "0.0" and overruns its buffer on the digits of a huge
// value; those never reach it. Up to the limit, Windows' own text is kept.
TEST(WindowsNumberText, WhatCannotBeFormattedIsAnOverflow) {
    WindowsNumberText numbers;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double value : {nan, inf, -inf, 1e201, -1e300, std::numeric_limits<double>::max()}) {
        SCOPED_TRACE(value);
        try {
            numbers.FormatFixed1(value);
            ADD_FAILURE() << "no failure";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Description(), "Overflow");
        }
    }
    for (double value : {nan, inf, -inf}) EXPECT_THROW(numbers.FormatGeneral(value), Failure);
    const std::string largest = numbers.FormatFixed1(-kLargestFixed1);
    EXPECT_EQ(largest.size(), 204u);
    EXPECT_EQ(largest.substr(0, 3), "-10");
}

}  // namespace
}  // namespace starwright
