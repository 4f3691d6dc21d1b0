#pragma once
// A document's display name to look for among the host's open documents: as the window holds it
// (UTF-8) and, converted once, as automation hands names over (UTF-16), so that a scan of many
// documents compares each name where it lies instead of converting it.

#include <optional>
#include <string>

namespace starwright {

class DisplayName {
public:
    explicit DisplayName(std::string utf8);

    const std::string& Utf8() const { return utf8_; }
    // None when the text is not valid UTF-8, which has no UTF-16 form of its own.
    const std::optional<std::u16string>& Utf16() const { return utf16_; }

private:
    std::string utf8_;
    std::optional<std::u16string> utf16_;
};

}  // namespace starwright
