#pragma once
// One table of value texts and what the system's conversions make of them, run through both
// WindowsNumberText (oleaut32 under Wine) and PortableNumberText, so the portable twin that the
// native tests rely on cannot drift from the conversion the product uses. A thousands separator
// counts only between digit groups of the locale's sizes before the decimal separator;
// anywhere else the text is not a number, never a number read without it.

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/failure.h"
#include "platform/number_grouping.h"
#include "platform/platform.h"

namespace starwright::number_parse_cases {

struct Expect {
    enum Kind { kValue, kTypeMismatch, kOverflow } kind;
    double value;
};
constexpr Expect V(double value) { return {Expect::kValue, value}; }
constexpr Expect kMismatch{Expect::kTypeMismatch, 0};
constexpr Expect kOverflow{Expect::kOverflow, 0};

struct Case {
    const char* text;
    Expect asDouble;  // ParseDouble
    Expect asInt32;   // ParseInt32
};

// Decimal separator ".", thousands separator ",".
inline const Case kEnglish[] = {
    {"12", V(12), V(12)},
    {" 12 ", V(12), V(12)},
    {"\t12\r\n", V(12), V(12)},
    {"\xC2\xA0" "12\xC2\xA0", V(12), V(12)},
    {"00012", V(12), V(12)},
    {"12.5", V(12.5), V(12)},
    {"0.1", V(0.1), V(0)},
    {".5", V(0.5), V(0)},
    {"5.", V(5), V(5)},
    {"1,234.5", V(1234.5), V(1234)},
    {"1,234,567.891", V(1234567.891), V(1234568)},
    {"-1,234.5", V(-1234.5), V(-1234)},
    {" - 12,345,678 ", V(-12345678), V(-12345678)},
    {"1,234e3", V(1234000), V(1234000)},
    {"0,5", kMismatch, kMismatch},
    {"0,005", kMismatch, kMismatch},
    {"1,5", kMismatch, kMismatch},
    {"1,23", kMismatch, kMismatch},
    {"1,2345", kMismatch, kMismatch},
    {"1234,567", kMismatch, kMismatch},
    {"1,234,5", kMismatch, kMismatch},
    {"1,2,3", kMismatch, kMismatch},
    {"1,,234", kMismatch, kMismatch},
    {"5,", kMismatch, kMismatch},
    {"1,.5", kMismatch, kMismatch},
    {"1.234,5", kMismatch, kMismatch},
    {"1.5e3,000", kMismatch, kMismatch},
    {",5", kMismatch, kMismatch},
    {"1.2.3", kMismatch, kMismatch},
    {"1 000", kMismatch, kMismatch},
    {"-3", V(-3), V(-3)},
    {"+3", V(3), V(3)},
    {"- 3", V(-3), V(-3)},
    {" - 3 ", V(-3), V(-3)},
    {"-0", V(-0.0), V(0)},
    {"--3", kMismatch, kMismatch},
    {"- -3", kMismatch, kMismatch},
    {"-,5", kMismatch, kMismatch},
    {"1.5e3", V(1500), V(1500)},
    {"1.5E+3", V(1500), V(1500)},
    {"1.5e-3", V(0.0015), V(0)},
    {"1,e3", kMismatch, kMismatch},
    {"1.e3", V(1000), V(1000)},
    {"0e5", V(0), V(0)},
    {"1e", kMismatch, kMismatch},
    {"1e+", kMismatch, kMismatch},
    {"e3", kMismatch, kMismatch},
    {".e3", kMismatch, kMismatch},
    {"1e 3", kMismatch, kMismatch},
    {"1 e3", kMismatch, kMismatch},
    {"1e3.5", kMismatch, kMismatch},
    {"1ee3", kMismatch, kMismatch},
    {"", kMismatch, kMismatch},
    {"   ", kMismatch, kMismatch},
    {"-", kMismatch, kMismatch},
    {".", kMismatch, kMismatch},
    {",", kMismatch, kMismatch},
    {"abc", kMismatch, kMismatch},
    {"12abc", kMismatch, kMismatch},
    {"1d3", kMismatch, kMismatch},
    {"12%", kMismatch, kMismatch},
    {"$12", kMismatch, kMismatch},
    {"(12)", kMismatch, kMismatch},
    {"12-", kMismatch, kMismatch},
    {"&H1A", kMismatch, kMismatch},
    {"1_000", kMismatch, kMismatch},
    {"0x1A", kMismatch, kMismatch},
    {"Infinity", kMismatch, kMismatch},
    {"NaN", kMismatch, kMismatch},
    {"\xEF\xBC\x91\xEF\xBC\x92", kMismatch, kMismatch},  // full-width "12"
    // Halves go to the even neighbour, judged on the digits as typed.
    {"0.5", V(0.5), V(0)},
    {"-0.5", V(-0.5), V(0)},
    {"1.5", V(1.5), V(2)},
    {"2.5", V(2.5), V(2)},
    {"3.5", V(3.5), V(4)},
    {"-2.5", V(-2.5), V(-2)},
    {"-3.5", V(-3.5), V(-4)},
    {"25e-1", V(2.5), V(2)},
    {"35e-1", V(3.5), V(4)},
    {"2.5000000000000000001", V(2.5), V(3)},
    {"2.4999999999999999999", V(2.5), V(2)},
    // The ends of the 32-bit range.
    {"2147483647", V(2147483647.0), V(2147483647)},
    {"2147483647.4", V(2147483647.4), V(2147483647)},
    {"2147483647.5", V(2147483647.5), kOverflow},
    {"2147483648", V(2147483648.0), kOverflow},
    {"-2147483648", V(-2147483648.0), V(-2147483648.0)},
    {"-2147483648.5", V(-2147483648.5), V(-2147483648.0)},
    {"-2147483648.6", V(-2147483648.6), kOverflow},
    {"-2147483649", V(-2147483649.0), kOverflow},
    {"1e10", V(1e10), kOverflow},
    {"123456789012345678901234567890", V(1.2345678901234568e29), kOverflow},
    // The ends of the double range.
    {"1e308", V(1e308), kOverflow},
    {"1e309", kOverflow, kOverflow},
    {"-1e309", kOverflow, kOverflow},
    {"1e-400", V(0), V(0)},
    {"1e999999999", kOverflow, kOverflow},
    {"1e2147483648", kOverflow, kOverflow},
    {"1e-2147483649", V(0), V(0)},
};

// Decimal separator ",", thousands separator ".".
inline const Case kGerman[] = {
    {"1,5", V(1.5), V(2)},
    {" 1,5 ", V(1.5), V(2)},
    {"12,5", V(12.5), V(12)},
    {",5", V(0.5), V(0)},
    {"-,5", V(-0.5), V(0)},
    {"5,", V(5), V(5)},
    {"1234,5", V(1234.5), V(1234)},
    {"1.234,5", V(1234.5), V(1234)},
    {"1.234", V(1234), V(1234)},
    {"1.234.567,891", V(1234567.891), V(1234568)},
    {"-1.234,5", V(-1234.5), V(-1234)},
    {"1.234e3", V(1234000), V(1234000)},
    {"1.5", kMismatch, kMismatch},
    {"-12.5", kMismatch, kMismatch},
    {"0.5", kMismatch, kMismatch},
    {"0.500", kMismatch, kMismatch},
    {"1.2345", kMismatch, kMismatch},
    {"1234.567", kMismatch, kMismatch},
    {"1.2.3", kMismatch, kMismatch},
    {"1..234", kMismatch, kMismatch},
    {"5.", kMismatch, kMismatch},
    {"1,234.5", kMismatch, kMismatch},
    {".5", kMismatch, kMismatch},
    {"1,2,3", kMismatch, kMismatch},
    {"1,234,5", kMismatch, kMismatch},
    {"1 000", kMismatch, kMismatch},
    {"1,5e3", V(1500), V(1500)},
    {"1.5e3", kMismatch, kMismatch},
    {"1,e3", V(1000), V(1000)},
    {"2,5", V(2.5), V(2)},
    {"3,5", V(3.5), V(4)},
    {"-2,5", V(-2.5), V(-2)},
    {"2147483647,5", V(2147483647.5), kOverflow},
    {"-2147483648,5", V(-2147483648.5), V(-2147483648.0)},
    {"1e309", kOverflow, kOverflow},
    {"", kMismatch, kMismatch},
    {"abc", kMismatch, kMismatch},
};

// A user's own settings (Control Panel, Region: Numbers and Currency), each with texts typed
// under them. Newer Windows versions group French with a narrow no-break space (U+202F) and
// Swiss German with a typographic apostrophe (U+2019), which no keyboard has.
struct Settings {
    const char* name;
    NumberSeparators locale;
    std::vector<Case> cases;
};
inline const Settings kSettings[] = {
    {"Swiss German", {".", "\xE2\x80\x99", ".", "\xE2\x80\x99", "3;0"}, {
        {"1'234.5", V(1234.5), V(1234)},
        {"-1\xE2\x80\x99" "234'567", V(-1234567), V(-1234567)},
        {"0'5", kMismatch, kMismatch},
        {"0\xE2\x80\x99" "5", kMismatch, kMismatch},
    }},
    {"French", {",", "\xE2\x80\xAF", ",", "\xE2\x80\xAF", "3;0"}, {
        {"1 234,5", V(1234.5), V(1234)},
        {"1\xE2\x80\xAF" "234,5\xE2\x80\xAF", V(1234.5), V(1234)},
        {"1 5", kMismatch, kMismatch},
        {"1\xE2\x80\xAF" "5", kMismatch, kMismatch},
    }},
    {"Indian English", {".", ",", ".", ",", "3;2;0"}, {
        {"12,34,567.5", V(1234567.5), V(1234568)},
        {"1,23,45,678", V(12345678), V(12345678)},
        {"12,345", V(12345), V(12345)},
        {"1,234,567", kMismatch, kMismatch},
        {"12,34", kMismatch, kMismatch},
    }},
    {"groups of three, then no more", {".", ",", ".", ",", "3"}, {
        {"1234,567", V(1234567), V(1234567)},
        {"1,234,567", kMismatch, kMismatch},
    }},
    // English numbers with money written as in Germany: the currency's grouping symbol is the
    // number's decimal point, and a "." keeps the number's meaning.
    {"English, German currency", {".", ",", ",", ".", "3;0"}, {
        {"1.5", V(1.5), V(2)},
        {"12.345", V(12.345), V(12)},
        {"1,234.5", V(1234.5), V(1234)},
        {"0,5", kMismatch, kMismatch},
    }},
    // French numbers, the currency's separators set apart: they group and mark the decimals too.
    {"French, currency apart", {",", "\xE2\x80\xAF", ".", "'", "3;0"}, {
        {"0.5", V(0.5), V(0)},
        {"1'234,5", V(1234.5), V(1234)},
        {"0'5", kMismatch, kMismatch},
        {"12'", kMismatch, kMismatch},
    }},
};

inline std::string Shown(const char* text) { return std::string("\"") + text + "\""; }

template <typename Parse>
void ExpectConversion(const char* text, const Expect& expect, Parse parse) {
    try {
        const double value = parse();
        if (expect.kind == Expect::kValue) EXPECT_DOUBLE_EQ(value, expect.value) << Shown(text);
        else ADD_FAILURE() << Shown(text) << " converted to " << value << ", expected a failure";
    } catch (const Failure& failure) {
        const int32_t expected = expect.kind == Expect::kOverflow ? kErrOverflow : kErrTypeMismatch;
        if (expect.kind == Expect::kValue) ADD_FAILURE() << Shown(text) << " failed: " << failure.Description();
        else EXPECT_EQ(failure.Number(), expected) << Shown(text) << " failed with " << failure.Description();
    }
}

// Every case of a table through one implementation, each conversion checked separately.
inline void ExpectConversions(NumberText& numbers, std::span<const Case> cases) {
    for (const Case& c : cases) {
        ExpectConversion(c.text, c.asDouble, [&] { return numbers.ParseDouble(c.text); });
        ExpectConversion(c.text, c.asInt32, [&] { return static_cast<double>(numbers.ParseInt32(c.text)); });
    }
}

}  // namespace starwright::number_parse_cases
