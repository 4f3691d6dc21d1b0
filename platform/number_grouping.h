#pragma once
// A typed number as the user's locale writes it, made into a text no conversion can misread.
// The system's conversion skips a thousands separator wherever it stands, the number's and the
// currency's alike, and takes the currency's decimal symbol too, each by its first character
// only: "0,5" typed for a half in an English locale would read as 5, "-12.5" in a German one
// as -125, and "0'5" as 5 wherever the currency groups with an apostrophe. So both number
// texts read the separators here, with one rule, and hand their conversion only a sign,
// digits, a "." and an exponent.

#include <optional>
#include <string>
#include <string_view>

namespace starwright {

// What the locale's settings say about writing a number (UTF-8). An empty separator is none.
struct NumberSeparators {
    std::string decimal = ".";
    std::string thousands = ",";
    std::string currencyDecimal = ".";
    std::string currencyThousands = ",";
    // The sizes of the digit groups from the decimal separator leftwards, separated by ";"; a
    // final 0 repeats the last size ("3;0" groups by three, "3;2;0" as Indian English does:
    // 12,34,567), without it the digits left of the last group stay together ("3": 1234,567).
    std::string grouping = "3;0";
};

// The number in `text` as "[-]digits[.digits][e[-]digits]", or nothing when the text is not a
// number as the locale writes one. Blanks may stand around the number and after its sign.
// Thousands separators, the number's or the currency's, stand only between digit groups of the
// locale's sizes before the decimal separator, and the first group has no leading zero ("0,005"
// is not five). The decimal separator is the number's or the currency's. Where a symbol is
// both a number's and a currency's separator, the number's meaning holds: no one types a FITS
// value as money. Keyboards have neither a no-break space nor a typographic apostrophe, so a
// typed space stands for a (narrow) no-break space separator and a typed ' for a ’ one.
// Currency symbols, parentheses, trailing signs and "&H" hexadecimal are not taken.
std::optional<std::string> PlainNumberText(std::string_view text, const NumberSeparators& locale);

}  // namespace starwright
