#include "host/sim/fits_header.h"

#include <cstdio>

#include "host/failure.h"

namespace starwright::sim {

namespace {

constexpr int32_t kErrBadKeyword = static_cast<int32_t>(0x80040402);

std::string Pad(std::string s, size_t width) {
    if (s.size() < width) s.append(width - s.size(), ' ');
    return s;
}

}  // namespace

void FitsHeader::Set(const std::string& keyword, const Value& value) {
    if (keyword.empty() || keyword.size() > 8) throw HostError(kErrBadKeyword, "Invalid FITS keyword: " + keyword);
    for (char ch : keyword) {
        const bool ok = (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-' || ch == '_';
        if (!ok) throw HostError(kErrBadKeyword, "Invalid FITS keyword: " + keyword);
    }
    std::string valueText;
    if (const auto* text = std::get_if<std::string>(&value)) {
        std::string quoted;
        for (char ch : *text) {
            if (ch < 0x20 || ch > 0x7e) throw HostError(kErrBadKeyword, "Invalid FITS string value");
            quoted += ch;
            if (ch == '\'') quoted += '\'';
        }
        if (quoted.size() > 68) throw HostError(kErrBadKeyword, "FITS string value too long");
        valueText = "'" + Pad(quoted, 8) + "'";
    } else if (const auto* integer = std::get_if<int32_t>(&value)) {
        valueText = std::to_string(*integer);
        valueText = std::string(20 - valueText.size(), ' ') + valueText;
    } else {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%20.15G", std::get<double>(value));
        valueText = buffer;
    }
    std::string card = Pad(Pad(keyword, 8) + "= " + valueText, 80);
    for (auto& existing : cards_) {
        if (existing.compare(0, 8, Pad(keyword, 8)) == 0) {
            existing = card;
            return;
        }
    }
    cards_.push_back(card);
}

std::optional<std::string> FitsHeader::Card(const std::string& keyword) const {
    for (const auto& card : cards_)
        if (card.compare(0, 8, Pad(keyword, 8)) == 0) return card;
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
