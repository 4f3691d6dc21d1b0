#pragma once
// A FITS header as a careful host keeps it: 80-character cards, keyword names of at most 8
// characters from A-Z, 0-9, "-" and "_", string values of printable ASCII (at most 68 characters
// with quotes doubled), integers and reals right-justified in columns 11-30 (reals always with a
// decimal point); writing a keyword again replaces its card. Keywords that describe the data or
// the card layout (SIMPLE, BITPIX, NAXISn, EXTEND, END, COMMENT, HISTORY, CONTINUE) are refused.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace starwright::sim {

class FitsHeader {
public:
    using Value = std::variant<double, int32_t, std::string>;

    // Throws HostError for a keyword or value such a host refuses.
    void Set(const std::string& keyword, const Value& value);
    // The card of a keyword, or nothing.
    std::optional<std::string> Card(const std::string& keyword) const;
    // The value part of a keyword's card as written (e.g. "'M31     '", "12.0", "4").
    std::optional<std::string> ValueText(const std::string& keyword) const;
    const std::vector<std::string>& Cards() const { return cards_; }

private:
    std::vector<std::string> cards_;
};

}  // namespace starwright::sim
