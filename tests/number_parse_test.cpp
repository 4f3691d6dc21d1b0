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

}  // namespace
}  // namespace starwright
