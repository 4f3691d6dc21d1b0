#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "host/host.h"
#include "host/sim/fits_header.h"

namespace starwright::sim {
namespace {

std::string Card(const std::string& start) { return start + std::string(80 - start.size(), ' '); }

TEST(FitsHeader, WritesCardsInTheFixedFormat) {
    struct Case {
        const char* keyword;
        FitsHeader::Value value;
        std::string card;  // keyword and "= " are columns 1-10, the numbers' field columns 11-30
    };
    const Case cases[] = {
        {"SET-TEMP", 12.0, Card("SET-TEMP= " "                12.0")},
        {"SET-TEMP", -12.5, Card("SET-TEMP= " "               -12.5")},
        {"CCD-TEMP", -20.0, Card("CCD-TEMP= " "               -20.0")},
        {"CCD-TEMP", -0.0, Card("CCD-TEMP= " "                -0.0")},
        {"A", 0.1, Card("A       = " "                 0.1")},
        {"EGAIN", 1.0 / 3, Card("EGAIN   = " "  0.3333333333333333")},
        {"XPIXSZ", 1.5e-7, Card("XPIXSZ  = " "             1.5E-07")},
        {"SMALL", 0.0001, Card("SMALL   = " "              0.0001")},
        {"SMALL", 1e-5, Card("SMALL   = " "             1.0E-05")},
        {"BIG", 1e16, Card("BIG     = " " 10000000000000000.0")},
        {"BIG", 1e20, Card("BIG     = " "             1.0E+20")},
        {"BIG", 123456789012345.0, Card("BIG     = " "   123456789012345.0")},
        // Too many digits for the field: the precision gives way, the format does not.
        {"TINY", -1.2345678901234567e-300, Card("TINY    = " "-1.234567890123E-300")},
        {"EXPOSURE", int32_t{4}, Card("EXPOSURE= " "                   4")},
        {"LOW", int32_t{-2147483647 - 1}, Card("LOW     = " "         -2147483648")},
        {"X_1-2", int32_t{0}, Card("X_1-2   = " "                   0")},
        {"OBJECT", std::string("M31"), Card("OBJECT  = 'M31     '")},
        {"OBSERVER", std::string("O'Brien"), Card("OBSERVER= 'O''Brien'")},
        {"NOTE", std::string(""), Card("NOTE    = '        '")},
        {"NOTE", std::string("  lead"), Card("NOTE    = '  lead  '")},
        {"NOTE", std::string(68, 'x'), "NOTE    = '" + std::string(68, 'x') + "'"},
        {"NOTE", std::string(34, '\''), "NOTE    = '" + std::string(68, '\'') + "'"},
        {"NOTE", std::string("12"), Card("NOTE    = '12      '")},
    };
    for (const Case& c : cases) {
        FitsHeader header;
        header.Set(c.keyword, c.value);
        ASSERT_EQ(header.Cards().size(), 1u) << c.keyword;
        EXPECT_EQ(header.Cards()[0], c.card);
        EXPECT_EQ(header.Cards()[0].size(), 80u) << c.card;
    }
}

// Twenty columns hold every double to the digit except those that need 17 digits and an
// exponent; those keep 13 or more significant digits.
TEST(FitsHeader, RealsReadBackAsWritten) {
    struct Case {
        double value;
        double relativeError;
    };
    const Case cases[] = {
        {12.0, 0},     {0.1, 0},       {-17.79, 0}, {1.0 / 3, 0}, {6.02214076e23, 0}, {1e-300, 0}, {5e-324, 0},
        {2.0 / 3 * 1e-5, 1e-13}, {1.7976931348623157e308, 1e-13},
    };
    for (const Case& c : cases) {
        FitsHeader header;
        header.Set("VAL", c.value);
        const std::string text = *header.ValueText("VAL");
        EXPECT_LE(text.size(), 20u) << text;
        EXPECT_NE(text.find('.'), std::string::npos) << text;
        const double back = std::strtod(text.c_str(), nullptr);
        if (c.relativeError == 0) EXPECT_EQ(back, c.value) << text;
        else EXPECT_NEAR(back / c.value, 1.0, c.relativeError) << text;
    }
}

TEST(FitsHeader, RefusesWhatAHeaderCannotHold) {
    struct Case {
        const char* keyword;
        FitsHeader::Value value;
        const char* description;  // a part of the refusal's text
    };
    const Case cases[] = {
        {"", 1.0, "keyword is empty"},
        {"EXPOSURE1", 1.0, "\"EXPOSURE1\" is longer than 8 characters"},
        {"set-temp", 1.0, "\"set-temp\" may hold only capital letters"},
        {"SET TEMP", 1.0, "may hold only capital letters"},
        {" KEY", 1.0, "may hold only capital letters"},
        {"KEY ", 1.0, "may hold only capital letters"},
        {"K\xC3\x89Y", 1.0, "may hold only capital letters"},
        {"KEY=", 1.0, "may hold only capital letters"},
        {"NAXIS", int32_t{2}, "reserved"},
        {"NAXIS1", int32_t{2}, "reserved"},
        {"BITPIX", int32_t{16}, "reserved"},
        {"SIMPLE", std::string("T"), "reserved"},
        {"END", std::string(""), "reserved"},
        {"COMMENT", std::string("x"), "reserved"},
        {"HISTORY", std::string("x"), "reserved"},
        {"NOTE", std::string(69, 'x'), "longer than 68 characters"},
        {"NOTE", std::string(34, '\'') + "x", "longer than 68 characters"},
        {"NOTE", std::string("tab\there"), "printable ASCII"},
        {"NOTE", std::string("caf\xC3\xA9"), "printable ASCII"},
        {"VAL", std::numeric_limits<double>::quiet_NaN(), "infinite or undefined"},
        {"VAL", -std::numeric_limits<double>::infinity(), "infinite or undefined"},
    };
    for (const Case& c : cases) {
        FitsHeader header;
        try {
            header.Set(c.keyword, c.value);
            ADD_FAILURE() << "accepted \"" << c.keyword << "\"";
        } catch (const HostError& error) {
            EXPECT_NE(error.Description().find(c.description), std::string::npos)
                << c.keyword << ": " << error.Description();
        }
        EXPECT_TRUE(header.Cards().empty()) << c.keyword;
    }
}

TEST(FitsHeader, SecondWriteReplacesTheCardInPlace) {
    FitsHeader header;
    header.Set("OBJECT", std::string("M31"));
    header.Set("SET-TEMP", 12.0);
    header.Set("OBJ", std::string("near"));
    header.Set("OBJECT", int32_t{7});
    ASSERT_EQ(header.Cards().size(), 3u);
    EXPECT_EQ(header.Cards()[0], Card("OBJECT  = " "                   7"));
    EXPECT_EQ(*header.ValueText("SET-TEMP"), "12.0");
    EXPECT_EQ(*header.ValueText("OBJ"), "'near    '");
    EXPECT_FALSE(header.Card("OBJE").has_value());
}

}  // namespace
}  // namespace starwright::sim
