#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "host/display_name.h"

namespace starwright {
namespace {

// Only valid UTF-8 has a UTF-16 form; anything else is compared as the window holds it.
TEST(DisplayName, HasAUtf16FormExactlyForValidUtf8) {
    struct Case {
        std::string utf8;
        std::optional<std::u16string> utf16;
    };
    const Case cases[] = {
        {"", u""},
        {"M31_L_001.fit", u"M31_L_001.fit"},
        {"Nébuleuse d'Orion", u"Nébuleuse d'Orion"},
        {"天体", u"天体"},
        {"\xF0\x9F\x94\xAD", u"\U0001F52D"},
        {"a\xFF", std::nullopt},              // no such byte in UTF-8
        {"a\x80", std::nullopt},              // a continuation without its lead
        {"\xC0\xAF", std::nullopt},           // an overlong "/"
        {"\xED\xA0\x80", std::nullopt},       // a surrogate
        {"\xE5\xA4", std::nullopt},           // cut off
        {"\xF4\x90\x80\x80", std::nullopt},   // beyond U+10FFFF
    };
    for (const Case& c : cases) {
        const DisplayName name(c.utf8);
        EXPECT_EQ(name.Utf8(), c.utf8);
        EXPECT_EQ(name.Utf16(), c.utf16) << c.utf8;
    }
}

}  // namespace
}  // namespace starwright
