#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "base/failure.h"
#include "platform/portable_platform.h"

namespace starwright {
namespace {

// Expected texts with "." as the separator; the comma locale must differ only in it.
std::string WithComma(std::string text) {
    for (char& ch : text)
        if (ch == '.') ch = ',';
    return text;
}

TEST(NumberText, FixedOneDecimal) {
    struct Case { double value; const char* text; };
    const Case cases[] = {
        {-12.34, "-12.3"}, {-12.96, "-13.0"}, {5.96, "6.0"},   {-0.4, "-0.4"},   {0, "0.0"},
        {-0.0, "0.0"},     {-0.04, "-0.0"},    {0.05, "0.1"},   {0.04, "0.0"},    {9.96, "10.0"},
        {-9.95, "-10.0"},  {-12.95, "-13.0"}, {12.25, "12.3"}, {0.004, "0.0"},   {-35, "-35.0"},
        {40000, "40000.0"}, {1e20, "100000000000000000000.0"}, {123456.789, "123456.8"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.value);
        PortableNumberText point('.', ','), comma(',', '.');
        EXPECT_EQ(point.FormatFixed1(k.value), k.text);
        EXPECT_EQ(comma.FormatFixed1(k.value), WithComma(k.text));
    }
}

TEST(NumberText, GeneralForm) {
    struct Case { double value; const char* text; };
    const Case cases[] = {
        {-31.150000000000002, "-31.15"}, {-10.68, "-10.68"}, {0, "0"}, {-0.0, "0"}, {-50, "-50"},
        {1e20, "1E+20"}, {1e15, "1E+15"}, {123456789012345, "123456789012345"}, {0.0001, "0.0001"},
        {0.00001, "1E-05"}, {1.0 / 3, "0.333333333333333"}, {-29163.52, "-29163.52"},
        {123456789012345678.0, "1.23456789012346E+17"}, {2.5e-300, "2.5E-300"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.value);
        PortableNumberText point('.', ','), comma(',', '.');
        EXPECT_EQ(point.FormatGeneral(k.value), k.text);
        EXPECT_EQ(comma.FormatGeneral(k.value), WithComma(k.text));
    }
}

TEST(NumberText, NotANumberIsAFailureNotAText) {
    PortableNumberText numbers;
    for (double value : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        EXPECT_THROW(numbers.FormatFixed1(value), Failure);
        EXPECT_THROW(numbers.FormatGeneral(value), Failure);
    }
    EXPECT_EQ(numbers.FormatFixed1(-kLargestFixed1).size(), 204u);
    for (double value : {1e201, -1e300, std::numeric_limits<double>::max()}) EXPECT_THROW(numbers.FormatFixed1(value), Failure);
}

}  // namespace
}  // namespace starwright
