#include "platform/number_grouping.h"

#include <vector>

namespace starwright {
namespace {

constexpr std::string_view kNoBreakSpace = "\xC2\xA0";
constexpr std::string_view kNarrowNoBreakSpace = "\xE2\x80\xAF";
constexpr std::string_view kRightQuote = "\xE2\x80\x99";

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// The blanks the conversions ignore around a number and after its sign.
size_t BlankLength(std::string_view text) {
    if (text.empty()) return 0;
    switch (text.front()) {
    case ' ': case '\t': case '\n': case '\v': case '\f': case '\r': return 1;
    default: break;
    }
    for (std::string_view blank : {kNoBreakSpace, kNarrowNoBreakSpace})
        if (text.starts_with(blank)) return blank.size();
    return 0;
}

std::string_view SkipBlanks(std::string_view text) {
    while (size_t n = BlankLength(text)) text.remove_prefix(n);
    return text;
}

std::string_view TrimTrailingBlanks(std::string_view text) {
    for (;;) {
        if (text.ends_with(kNoBreakSpace)) text.remove_suffix(kNoBreakSpace.size());
        else if (text.ends_with(kNarrowNoBreakSpace)) text.remove_suffix(kNarrowNoBreakSpace.size());
        else if (!text.empty() && BlankLength(text.substr(text.size() - 1)) == 1) text.remove_suffix(1);
        else return text;
    }
}

// The symbols that may stand between the digits of a number's integer part, in the order their
// meaning is taken when the locale writes two of them alike.
struct Symbol {
    std::string_view text;
    bool decimal;
};

std::vector<Symbol> Symbols(const NumberSeparators& locale) {
    std::vector<Symbol> symbols;
    auto add = [&](std::string_view text, bool decimal) {
        if (!text.empty()) symbols.push_back({text, decimal});
    };
    auto addThousands = [&](std::string_view text) {
        add(text, false);
        if (text == kNoBreakSpace || text == kNarrowNoBreakSpace) add(" ", false);
        if (text == kRightQuote) add("'", false);
    };
    add(locale.decimal, true);
    addThousands(locale.thousands);
    add(locale.currencyDecimal, true);
    addThousands(locale.currencyThousands);
    return symbols;
}

// "3;2;0" as sizes {3, 2} repeating the last; anything but digits and ";" as the usual "3;0".
struct Grouping {
    std::vector<size_t> sizes;
    bool repeat = false;
};

Grouping ReadGrouping(std::string_view text) {
    Grouping grouping;
    for (;;) {
        const size_t end = text.find(';');
        const std::string_view field = text.substr(0, end);
        if (field.size() != 1 || !IsDigit(field[0])) return {{3}, true};
        if (field[0] == '0') {
            grouping.repeat = !grouping.sizes.empty();
            return grouping;
        }
        grouping.sizes.push_back(static_cast<size_t>(field[0] - '0'));
        if (end == std::string_view::npos) return grouping;
        text.remove_prefix(end + 1);
    }
}

// The digit groups of an integer part, left to right, as the locale's sizes allow them: counted
// from the decimal separator, each group but the leftmost has its size; the leftmost has one
// digit up to its size, or any number where the sizes end without repeating.
bool FollowsGrouping(const std::vector<size_t>& groups, const Grouping& grouping) {
    const size_t separators = groups.size() - 1;
    for (size_t k = 0; k <= separators; ++k) {
        const size_t digits = groups[separators - k];
        size_t size = 0;  // 0: any number of digits
        if (k < grouping.sizes.size()) size = grouping.sizes[k];
        else if (grouping.repeat) size = grouping.sizes.back();
        else if (k < separators) return false;  // no separator stands left of this group
        const bool leftmost = k == separators;
        if (leftmost ? digits == 0 || (size != 0 && digits > size) : digits != size) return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> PlainNumberText(std::string_view text, const NumberSeparators& locale) {
    text = TrimTrailingBlanks(SkipBlanks(text));
    std::string plain;
    if (text.starts_with('+') || text.starts_with('-')) {
        if (text.front() == '-') plain += '-';
        text = SkipBlanks(text.substr(1));
    }

    const std::vector<Symbol> symbols = Symbols(locale);
    std::vector<size_t> groups{0};  // digits of each group of the integer part
    bool leadingZero = false;       // the integer part's first digit is a 0
    bool decimal = false;
    size_t digits = 0;
    while (!text.empty()) {
        if (IsDigit(text.front())) {
            if (!decimal) {
                if (groups.size() == 1 && groups[0] == 0) leadingZero = text.front() == '0';
                ++groups.back();
            }
            ++digits;
            plain += text.front();
            text.remove_prefix(1);
            continue;
        }
        if (decimal) break;
        const Symbol* found = nullptr;
        for (const Symbol& symbol : symbols)
            if (text.starts_with(symbol.text)) {
                found = &symbol;
                break;
            }
        if (!found) break;
        text.remove_prefix(found->text.size());
        if (found->decimal) {
            decimal = true;
            plain += '.';
        } else {
            groups.push_back(0);
        }
    }
    if (digits == 0) return std::nullopt;
    if (groups.size() > 1 && (leadingZero || !FollowsGrouping(groups, ReadGrouping(locale.grouping))))
        return std::nullopt;

    if (text.starts_with('e') || text.starts_with('E')) {
        plain += 'e';
        text.remove_prefix(1);
        if (text.starts_with('+') || text.starts_with('-')) {
            if (text.front() == '-') plain += '-';
            text.remove_prefix(1);
        }
        if (text.empty() || !IsDigit(text.front())) return std::nullopt;
        while (!text.empty() && IsDigit(text.front())) {
            plain += text.front();
            text.remove_prefix(1);
        }
    }
    if (!text.empty()) return std::nullopt;
    return plain;
}

}  // namespace starwright
