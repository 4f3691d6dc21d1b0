#include "platform/number_grouping.h"

namespace starwright {
namespace {

constexpr std::string_view kNoBreakSpace = "\xC2\xA0";
constexpr std::string_view kNarrowNoBreakSpace = "\xE2\x80\xAF";

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// The blanks the conversions ignore around a number and after its sign; where the locale
// groups with a blank, those are not separators.
size_t BlankLength(std::string_view text) {
    if (text.empty()) return 0;
    switch (text.front()) {
    case ' ': case '\t': case '\n': case '\v': case '\f': case '\r': return 1;
    default: return text.starts_with(kNoBreakSpace) ? kNoBreakSpace.size() : 0;
    }
}

std::string_view SkipBlanks(std::string_view text) {
    while (size_t n = BlankLength(text)) text.remove_prefix(n);
    return text;
}

std::string_view TrimTrailingBlanks(std::string_view text) {
    for (;;) {
        if (text.ends_with(kNoBreakSpace)) text.remove_suffix(kNoBreakSpace.size());
        else if (!text.empty() && BlankLength(text.substr(text.size() - 1)) == 1) text.remove_suffix(1);
        else return text;
    }
}

}  // namespace

bool HasGroupedThousands(std::string_view text, std::string_view decimal, std::string_view thousands) {
    if (thousands.empty() || thousands == decimal) return true;
    // Keyboards have no no-break space, so a user grouping as the locale does types a space.
    const bool spaceGroups = thousands == kNoBreakSpace || thousands == kNarrowNoBreakSpace;
    auto separatorLength = [&](std::string_view rest) -> size_t {
        if (rest.starts_with(thousands)) return thousands.size();
        return spaceGroups && rest.starts_with(' ') ? 1 : 0;
    };

    text = TrimTrailingBlanks(SkipBlanks(text));
    if (text.starts_with('+') || text.starts_with('-')) text = SkipBlanks(text.substr(1));

    bool integerPart = true;      // no decimal separator or exponent yet
    bool afterSeparator = false;  // the digits being counted follow a thousands separator
    size_t digits = 0;            // digits since the last separator or non-digit
    bool leadingZero = false;     // the first of those digits is a 0
    while (!text.empty()) {
        if (IsDigit(text.front())) {
            if (digits++ == 0) leadingZero = text.front() == '0';
            text.remove_prefix(1);
            continue;
        }
        if (const size_t n = separatorLength(text)) {
            // The first group has one to three digits and, as anyone grouping writes it, no
            // leading zero ("0,005" is not five); every later group has three.
            if (afterSeparator ? digits != 3 : (!integerPart || digits == 0 || digits > 3 || leadingZero))
                return false;
            afterSeparator = true;
            digits = 0;
            text.remove_prefix(n);
            continue;
        }
        if (afterSeparator && digits != 3) return false;
        afterSeparator = false;
        digits = 0;
        if (!decimal.empty() && text.starts_with(decimal)) {
            integerPart = false;
            text.remove_prefix(decimal.size());
            continue;
        }
        if (text.front() == 'e' || text.front() == 'E') integerPart = false;
        text.remove_prefix(1);
    }
    return !afterSeparator || digits == 3;
}

}  // namespace starwright
