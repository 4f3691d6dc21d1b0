#include "platform/portable_platform.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "base/failure.h"

namespace starwright {

namespace {

// A double as the system's conversions see it: at most 15 significant decimal digits.
struct Decimal15 {
    std::string digits;  // no leading zeros; "0" for zero
    int exponent = 0;    // value = 0.d1d2d3... * 10^exponent
};

Decimal15 ToDecimal15(double value) {
    if (!std::isfinite(value)) throw OverflowFailure();
    Decimal15 d;
    char buffer[64];
    // "d.dddddddddddddde+XX": std::to_chars never looks at the C locale.
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 14);
    const std::string text(buffer, end);
    const std::size_t e = text.find('e');
    d.digits = text.substr(0, 1) + text.substr(2, e - 2);
    d.exponent = std::atoi(text.c_str() + e + 1) + 1;
    while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
    if (d.digits == "0") d.exponent = 1;
    return d;
}

}  // namespace

// "#0.0": rounded half away from zero on the 15-digit decimal, as the system's own Format
// does, so -12.95 shows -13.0 although its binary value lies just above -12.95.
std::string PortableNumberText::FormatFixed1(double value) {
    if (!(std::fabs(value) <= kLargestFixed1)) throw OverflowFailure();
    const Decimal15 d = ToDecimal15(value);
    // Digits of the value scaled by 10, i.e. the integer part followed by the tenths digit.
    std::string tenths;
    const int wholeDigits = d.exponent + 1;
    int roundDigit = 0;
    if (wholeDigits <= 0) {
        tenths = "0";
        if (wholeDigits == 0) roundDigit = d.digits[0] - '0';
    } else {
        for (int i = 0; i < wholeDigits; ++i)
            tenths += i < static_cast<int>(d.digits.size()) ? d.digits[i] : '0';
        if (wholeDigits < static_cast<int>(d.digits.size())) roundDigit = d.digits[wholeDigits] - '0';
    }
    if (roundDigit >= 5) {
        int i = static_cast<int>(tenths.size()) - 1;
        for (; i >= 0 && tenths[i] == '9'; --i) tenths[i] = '0';
        if (i >= 0) ++tenths[i];
        else tenths.insert(tenths.begin(), '1');
    }
    std::size_t lead = 0;
    while (lead + 1 < tenths.size() && tenths[lead] == '0') ++lead;
    tenths.erase(0, lead);
    if (tenths.size() < 2) tenths.insert(tenths.begin(), '0');
    // Like the system's Format, a value below zero keeps its sign even when it shows as
    // "-0.0"; only a negative zero has none.
    std::string text = value < 0 ? "-" : "";
    text += tenths.substr(0, tenths.size() - 1);
    text += decimal_;
    text += tenths.back();
    return text;
}

// The general form: up to 15 significant digits without trailing zeros, switching to
// "1E+20" / "1E-05" notation where printf's %G would.
std::string PortableNumberText::FormatGeneral(double value) {
    if (!std::isfinite(value)) throw OverflowFailure();
    if (value == 0) return "0";
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::string text(buffer, end);
    for (char& c : text) {
        if (c == '.') c = decimal_;
        else if (c == 'e') c = 'E';
    }
    return text;
}

}  // namespace starwright
