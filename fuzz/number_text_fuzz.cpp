// The portable number text under a fuzzer, in an English and a German locale: any text either
// converts or fails with an overflow or a type mismatch, never crashes; what converts to an
// integer also converts to a double within half a unit; thousands separators in a text that
// converts only group its digits: without them it converts to the same value; and every double
// up to the formatting limit is written with "#0.0" and in the general form, and reads back
// from its text.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/failure.h"
#include "platform/portable_platform.h"

namespace {

using starwright::Failure;

[[noreturn]] void Broken(const std::string& invariant, const std::string& text) {
    std::fprintf(stderr, "invariant broken: %s for \"%s\"\n", invariant.c_str(), text.c_str());
    std::abort();
}

void ExpectConversionFailure(const Failure& failure, const std::string& text) {
    if (failure.Number() != starwright::kErrOverflow && failure.Number() != starwright::kErrTypeMismatch)
        Broken("failure " + std::to_string(failure.Number()), text);
}

// Reads back a text the number text wrote; the general form keeps 15 significant digits.
void ExpectReadsBack(starwright::PortableNumberText& numbers, double value, const std::string& text, double tolerance) {
    try {
        const double back = numbers.ParseDouble(text);
        if (!(std::fabs(back - value) <= tolerance)) Broken("reads back as " + std::to_string(back), text);
    } catch (const Failure&) {
        Broken("does not read back", text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const char decimal = in.ConsumeBool() ? ',' : '.';
    const char thousands = decimal == '.' ? ',' : '.';
    starwright::PortableNumberText numbers(decimal, thousands);
    const std::string text = in.ConsumeRemainingBytesAsString();

    bool isDouble = false;
    double asDouble = 0;
    try {
        asDouble = numbers.ParseDouble(text);
        isDouble = true;
    } catch (const Failure& failure) {
        ExpectConversionFailure(failure, text);
    }
    try {
        const int32_t asInteger = numbers.ParseInt32(text);
        if (!isDouble || !(std::fabs(asDouble - asInteger) <= 0.5))
            Broken("integer " + std::to_string(asInteger), text);
    } catch (const Failure& failure) {
        ExpectConversionFailure(failure, text);
    }
    if (!isDouble) return 0;

    std::string ungrouped = text;
    std::erase(ungrouped, thousands);
    if (ungrouped != text) {
        try {
            if (numbers.ParseDouble(ungrouped) != asDouble) Broken("reads otherwise without its separators", text);
        } catch (const Failure&) {
            Broken("does not convert without its separators", text);
        }
    }

    if (std::fabs(asDouble) <= starwright::kLargestFixed1) {
        const std::string fixed = numbers.FormatFixed1(asDouble);
        ExpectReadsBack(numbers, asDouble, fixed, 0.05 + std::fabs(asDouble) * 1e-14);
    }
    const std::string general = numbers.FormatGeneral(asDouble);
    ExpectReadsBack(numbers, asDouble, general, std::fabs(asDouble) * 1e-14);
    return 0;
}
