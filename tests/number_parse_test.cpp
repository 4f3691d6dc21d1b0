#include <gtest/gtest.h>

#include "platform/number_grouping.h"
#include "platform/portable_platform.h"
#include "tests/number_parse_cases.h"

namespace starwright {
namespace {

TEST(PortableNumberText, ConvertsLikeTheSystemInEnglish) {
    PortableNumberText numbers('.', ',');
    number_parse_cases::ExpectConversions(numbers, number_parse_cases::kEnglish);
}

TEST(PortableNumberText, ConvertsLikeTheSystemInGerman) {
    PortableNumberText numbers(',', '.');
    number_parse_cases::ExpectConversions(numbers, number_parse_cases::kGerman);
}

// Locales whose thousands separator is not "." or ",": the rule reads the separator as the
// locale writes it, and where that is a no-break space, a typed space stands for it.
TEST(HasGroupedThousands, FollowsTheLocalesOwnSeparator) {
    struct Case {
        const char* text;
        const char* decimal;
        const char* thousands;
        bool grouped;
    } cases[] = {
        {"1'234.5", ".", "'", true},
        {"-1'234'567", ".", "'", true},
        {"1'5", ".", "'", false},
        {"1\xC2\xA0" "234,5", ",", "\xC2\xA0", true},
        {"1 234 567,5", ",", "\xC2\xA0", true},
        {" - 1 234 ", ",", "\xC2\xA0", true},
        {"1 5", ",", "\xC2\xA0", false},
        {"1\xE2\x80\xAF" "234,5", ",", "\xE2\x80\xAF", true},
        {"1 23,5", ",", "\xE2\x80\xAF", false},
        {"12,5", ",", "", true},
        {"1,5", ",", ",", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HasGroupedThousands(c.text, c.decimal, c.thousands), c.grouped) << number_parse_cases::Shown(c.text);
}

}  // namespace
}  // namespace starwright
