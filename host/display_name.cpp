#include "host/display_name.h"

namespace starwright {

namespace {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no cut-off sequence.
std::optional<std::u16string> ToUtf16(const std::string& utf8) {
    std::u16string utf16;
    utf16.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                              : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
        if (length == 0 || utf8.size() - at < length) return std::nullopt;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(utf8[at + i]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            code = (code << 6) | (next & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return std::nullopt;
        if (code < 0x10000) {
            utf16.push_back(static_cast<char16_t>(code));
        } else {
            utf16.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            utf16.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        }
        at += length;
    }
    return utf16;
}

}  // namespace

DisplayName::DisplayName(std::string utf8) : utf8_(std::move(utf8)), utf16_(ToUtf16(utf8_)) {}

}  // namespace starwright
