#include "platform/windows_platform.h"

#include <windows.h>
#include <oleauto.h>

#include <charconv>
#include <cmath>
#include <new>
#include <string>

#include "base/failure.h"
#include "platform/text_win.h"

namespace starwright {

namespace {

std::string Utf8(const UniqueBstr& text) { return ToUtf8(std::wstring_view(text.Get(), SysStringLen(text.Get()))); }

// The description the system gives for an automation conversion failure.
Failure ConversionFailure(HRESULT hr) {
    if (hr == DISP_E_OVERFLOW) return OverflowFailure();
    if (hr == DISP_E_TYPEMISMATCH) return TypeMismatchFailure();
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
    return InvalidArgumentFailure();
}

}  // namespace

// Values oleaut32 cannot format are never handed to it: NaN and infinities come back as "0.0",
// and the digits of a huge value overrun its buffer.
std::string WindowsNumberText::FormatFixed1(double value) {
    if (!(std::fabs(value) <= kLargestFixed1)) throw OverflowFailure();
    VARIANT number;
    VariantInit(&number);
    V_VT(&number) = VT_R8;
    V_R8(&number) = value;
    UniqueBstr text;
    // Format's own pattern language; the decimal separator comes from the user's locale.
    wchar_t pattern[] = L"#0.0";
    const HRESULT hr = VarFormat(&number, pattern, 0, 0, 0, text.Out());
    if (FAILED(hr)) throw ConversionFailure(hr);
    return Utf8(text);
}

// Windows' general form switches to "1E-05" / "1E+20" notation where printf's %.15G does (a
// decimal exponent below -4 or above 14, after rounding to 15 digits); VarBstrFromR8 gives that
// on Windows, but not every oleaut32 does (Wine 10 writes 1E-05 as "0.00001"). Those values are
// written here, with the user's decimal separator, as VarBstrFromR8 uses; the others are its own.
std::string WindowsNumberText::FormatGeneral(double value) {
    if (!std::isfinite(value)) throw OverflowFailure();
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    const std::string general(buffer, ec == std::errc() ? end : buffer);
    if (general.find('e') != std::string::npos) {
        wchar_t decimal[8] = {};
        const std::string separator =
            GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8) > 0 ? ToUtf8(decimal) : ".";
        std::string text;
        for (const char c : general) {
            if (c == '.') text += separator;
            else text += c == 'e' ? 'E' : c;
        }
        return text;
    }
    UniqueBstr text;
    const HRESULT hr = VarBstrFromR8(value, LOCALE_USER_DEFAULT, 0, text.Out());
    if (FAILED(hr)) throw ConversionFailure(hr);
    return Utf8(text);
}

}  // namespace starwright
