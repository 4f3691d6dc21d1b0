#include <gtest/gtest.h>

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

TEST(PortableNumberText, FollowsTheUsersOwnSettings) {
    for (const number_parse_cases::Settings& settings : number_parse_cases::kSettings) {
        SCOPED_TRACE(settings.name);
        PortableNumberText numbers(settings.locale);
        number_parse_cases::ExpectConversions(numbers, settings.cases);
    }
}

}  // namespace
}  // namespace starwright
