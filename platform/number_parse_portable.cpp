#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/failure.h"
#include "platform/number_grouping.h"
#include "platform/portable_platform.h"

// A small twin of oleaut32's text-to-number conversion (VarR8FromStr / VarI4FromStr), for the
// forms a user types: blanks around the number, a leading sign (blanks may follow it), digits
// with thousands separators, one decimal separator, and an exponent. oleaut32 also takes
// currency symbols, parentheses, trailing signs and "&H" hexadecimal; the twin refuses those as
// not a number. The typed text goes through the locale's rule first (PlainNumberText), as it
// does on Windows, and the twin converts what the rule made of it.

namespace starwright {

namespace {

// A number as the text wrote it: value = digits x 10^exponent, digits without leading zeros
// (empty for zero).
struct DecimalText {
    bool negative = false;
    std::string digits;
    int64_t exponent = 0;
};

// oleaut32 takes every white-space character around a number, the no-break space included.
size_t BlankLength(std::string_view text, size_t at) {
    if (at >= text.size()) return 0;
    switch (text[at]) {
    case ' ': case '\t': case '\n': case '\v': case '\f': case '\r': return 1;
    case '\xC2': return text.compare(at, 2, "\xC2\xA0") == 0 ? 2 : 0;
    default: return 0;
    }
}

size_t SkipBlanks(std::string_view text, size_t at) {
    while (size_t n = BlankLength(text, at)) at += n;
    return at;
}

std::string_view TrimBlanks(std::string_view text) {
    text.remove_prefix(SkipBlanks(text, 0));
    for (;;) {
        if (!text.empty() && BlankLength(text, text.size() - 1) == 1) text.remove_suffix(1);
        else if (text.size() >= 2 && text.substr(text.size() - 2) == "\xC2\xA0") text.remove_suffix(2);
        else return text;
    }
}

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

std::optional<DecimalText> Scan(std::string_view text, char decimal, char thousands) {
    text = TrimBlanks(text);
    DecimalText number;
    size_t at = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        number.negative = text[at] == '-';
        at = SkipBlanks(text, at + 1);
    }
    bool seenDigit = false;
    bool seenDecimal = false;
    for (; at < text.size(); ++at) {
        const char ch = text[at];
        if (IsDigit(ch)) {
            seenDigit = true;
            if (seenDecimal) --number.exponent;
            if (ch != '0' || !number.digits.empty()) number.digits += ch;
        } else if (ch == decimal && !seenDecimal) {
            seenDecimal = true;
        } else if (ch == thousands && seenDigit && !seenDecimal) {
            // Grouping is not checked here: "1,2,3" is 123, as the system reads it.
        } else {
            break;
        }
    }
    if (!seenDigit) return std::nullopt;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        bool negativeExponent = false;
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) negativeExponent = text[at++] == '-';
        if (at >= text.size() || !IsDigit(text[at])) return std::nullopt;
        // Saturates far beyond any double's range, so a huge exponent still reads as huge.
        int64_t exponent = 0;
        for (; at < text.size() && IsDigit(text[at]); ++at)
            exponent = std::min<int64_t>(exponent * 10 + (text[at] - '0'), 1'000'000'000);
        number.exponent += negativeExponent ? -exponent : exponent;
    }
    if (at != text.size()) return std::nullopt;
    return number;
}

double ToDouble(const DecimalText& number) {
    const double zero = number.negative ? -0.0 : 0.0;
    if (number.digits.empty()) return zero;
    const std::string plain = number.digits + "e" + std::to_string(number.exponent);
    double value = 0;
    const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Out of range above 1 is too large; below 1 it is too small and reads as zero.
        if (static_cast<int64_t>(number.digits.size()) + number.exponent > 0) throw OverflowFailure();
        return zero;
    }
    if (error != std::errc() || end != plain.data() + plain.size()) throw TypeMismatchFailure();
    return number.negative ? -value : value;
}

// Rounds on the decimal digits themselves, as the system does, so "2.5000000000000000001"
// gives 3 although the nearest double is 2.5.
int32_t ToInt32(const DecimalText& number) {
    if (number.digits.empty()) return 0;
    const int64_t size = static_cast<int64_t>(number.digits.size());
    const int64_t integerDigits = size + number.exponent;
    if (integerDigits > 10) throw OverflowFailure();
    int64_t magnitude = 0;
    for (int64_t i = 0; i < integerDigits; ++i) magnitude = magnitude * 10 + (i < size ? number.digits[i] - '0' : 0);
    if (integerDigits >= 0 && integerDigits < size) {
        const char first = number.digits[integerDigits];
        const bool moreAfterHalf = number.digits.find_first_not_of('0', integerDigits + 1) != std::string::npos;
        if (first > '5' || (first == '5' && (moreAfterHalf || magnitude % 2 == 1))) ++magnitude;
    }
    const int64_t value = number.negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        throw OverflowFailure();
    return static_cast<int32_t>(value);
}

// A typed text as the locale's rule makes it plain.
DecimalText ScanTyped(const std::string& text, const NumberSeparators& locale) {
    const std::optional<std::string> plain = PlainNumberText(text, locale);
    if (!plain) throw TypeMismatchFailure();
    const auto number = Scan(*plain, '.', '\0');
    if (!number) throw TypeMismatchFailure();
    return *number;
}

}  // namespace

PortableNumberText::PortableNumberText(NumberSeparators locale)
    : locale_(std::move(locale)),
      decimal_(locale_.decimal.empty() ? '\0' : locale_.decimal[0]),
      thousands_(locale_.thousands.empty() ? '\0' : locale_.thousands[0]) {}

double PortableNumberText::ParseDouble(const std::string& text) { return ToDouble(ScanTyped(text, locale_)); }

int32_t PortableNumberText::ParseInt32(const std::string& text) { return ToInt32(ScanTyped(text, locale_)); }

double PortableNumberText::SystemParseDouble(const std::string& text) const {
    const auto number = Scan(text, decimal_, thousands_);
    if (!number) throw TypeMismatchFailure();
    return ToDouble(*number);
}

int32_t PortableNumberText::SystemParseInt32(const std::string& text) const {
    const auto number = Scan(text, decimal_, thousands_);
    if (!number) throw TypeMismatchFailure();
    return ToInt32(*number);
}

}  // namespace starwright
