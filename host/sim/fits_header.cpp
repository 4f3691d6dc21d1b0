#include "host/sim/fits_header.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/host.h"

namespace starwright::sim {

namespace {

// The host's own error number for a keyword or value it will not put into a header.
constexpr int32_t kErrBadCard = static_cast<int32_t>(0x80040402);

constexpr size_t kCardLength = 80;
constexpr size_t kKeywordLength = 8;
// Columns 11 to 30 hold a fixed-format number, right-justified.
constexpr size_t kNumberWidth = 20;
// Columns 11 to 80 hold a string with its two quotes.
constexpr size_t kStringLength = kCardLength - 10 - 2;

// Keywords that describe the data array or the card layout itself: the host keeps them, and a
// value written under COMMENT, HISTORY, CONTINUE or END would break the header.
bool IsReserved(const std::string& keyword) {
    static const char* const kReserved[] = {"SIMPLE", "BITPIX", "NAXIS", "EXTEND", "END", "COMMENT", "HISTORY", "CONTINUE"};
    for (const char* reserved : kReserved)
        if (keyword == reserved) return true;
    // NAXIS1 to NAXIS999.
    if (keyword.size() > 5 && keyword.compare(0, 5, "NAXIS") == 0)
        return keyword.find_first_not_of("0123456789", 5) == std::string::npos;
    return false;
}

void CheckKeyword(const std::string& keyword) {
    const std::string shown = "\"" + keyword + "\"";
    if (keyword.empty()) throw HostError(kErrBadCard, "The FITS keyword is empty");
    if (keyword.size() > kKeywordLength)
        throw HostError(kErrBadCard, "The FITS keyword " + shown + " is longer than 8 characters");
    for (char ch : keyword) {
        const bool allowed = (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-' || ch == '_';
        if (!allowed)
            throw HostError(kErrBadCard, "The FITS keyword " + shown +
                                             " may hold only capital letters A-Z, digits, \"-\" and \"_\"");
    }
    if (IsReserved(keyword))
        throw HostError(kErrBadCard, "The FITS keyword " + shown + " is reserved and cannot be set");
}

std::string Pad(std::string s, size_t width) {
    if (s.size() < width) s.append(width - s.size(), ' ');
    return s;
}

std::string RightJustified(const std::string& s) {
    return s.size() < kNumberWidth ? std::string(kNumberWidth - s.size(), ' ') + s : s;
}

std::string StringValue(const std::string& text) {
    std::string quoted;
    for (char ch : text) {
        const auto code = static_cast<unsigned char>(ch);
        if (code < 0x20 || code > 0x7e)
            throw HostError(kErrBadCard, "A FITS string value may hold only printable ASCII characters");
        quoted += ch;
        if (ch == '\'') quoted += '\'';
    }
    if (quoted.size() > kStringLength)
        throw HostError(kErrBadCard, "The FITS string value is longer than 68 characters");
    // The closing quote stands in column 20 or further right.
    std::string value(1, '\'');
    value += Pad(quoted, 8);
    value += '\'';
    return value;
}

std::string WithDecimalPoint(std::string text) {
    if (text.find('.') == std::string::npos) {
        const size_t exponent = text.find('E');
        text.insert(exponent == std::string::npos ? text.size() : exponent, ".0");
    }
    return text;
}

// The fewest digits that read back as the same double and fit columns 11 to 30: plain notation
// up to 17 integer digits ("-20.0", "0.0001"), else with an exponent ("1.5E-07"). A decimal point
// is always present, since without one a reader takes the value for an integer.
std::string RealValue(double value) {
    if (!std::isfinite(value)) throw HostError(kErrBadCard, "A FITS header cannot hold an infinite or undefined number");
    std::string best;
    for (int digits = 1; digits <= 17; ++digits) {
        char scientific[40];
        std::snprintf(scientific, sizeof scientific, "%.*E", digits - 1, value);
        const int exponent = std::atoi(std::strchr(scientific, 'E') + 1);
        char general[40];
        const int precision = exponent >= 0 && exponent < 17 ? std::max(digits, exponent + 1) : digits;
        std::snprintf(general, sizeof general, "%.*G", precision, value);
        std::string text = WithDecimalPoint(general);
        if (text.size() > kNumberWidth) text = WithDecimalPoint(scientific);
        if (text.size() > kNumberWidth) break;
        best = text;
        if (std::strtod(best.c_str(), nullptr) == value) break;
    }
    return RightJustified(best);
}

}  // namespace

void FitsHeader::Set(const std::string& keyword, const Value& value) {
    CheckKeyword(keyword);
    std::string valueText;
    if (const auto* text = std::get_if<std::string>(&value)) valueText = StringValue(*text);
    else if (const auto* integer = std::get_if<int32_t>(&value)) valueText = RightJustified(std::to_string(*integer));
    else valueText = RealValue(std::get<double>(value));
    const std::string card = Pad(Pad(keyword, kKeywordLength) + "= " + valueText, kCardLength);
    for (auto& existing : cards_) {
        if (existing.compare(0, kKeywordLength, card, 0, kKeywordLength) == 0) {
            existing = card;
            return;
        }
    }
    cards_.push_back(card);
}

std::optional<std::string> FitsHeader::Card(const std::string& keyword) const {
    if (keyword.empty() || keyword.size() > kKeywordLength) return std::nullopt;
    const std::string padded = Pad(keyword, kKeywordLength);
    for (const auto& card : cards_)
        if (card.compare(0, kKeywordLength, padded) == 0) return card;
    return std::nullopt;
}

std::optional<std::string> FitsHeader::ValueText(const std::string& keyword) const {
    auto card = Card(keyword);
    if (!card) return std::nullopt;
    std::string v = card->substr(10);
    while (!v.empty() && v.back() == ' ') v.pop_back();
    size_t start = v.find_first_not_of(' ');
    return start == std::string::npos ? std::string() : v.substr(start);
}

}  // namespace starwright::sim
