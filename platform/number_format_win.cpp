#include "platform/windows_platform.h"

#include <windows.h>
#include <oleauto.h>

#include <cmath>
#include <cstdio>
#include <cstring>
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
// written here, with the user's decimal separator as VarBstrFromR8 uses it, and an exponent of at
// least two digits (msvcrt writes three); the others are its own. msvcrt's printf is used, not
// std::to_chars, whose tables would double the module's size; the decimal point it writes
// depends on the C locale another module in the host may have set, so any character that is not
// a digit, a sign or the exponent's E stands for it.
std::string WindowsNumberText::FormatGeneral(double value) {
    if (!std::isfinite(value)) throw OverflowFailure();
    char general[40];
    const int length = _snprintf(general, sizeof general, "%.15G", value);
    if (length > 0 && length < static_cast<int>(sizeof general) && std::strchr(general, 'E')) {
        wchar_t decimal[8] = {};
        const std::string separator =
            GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8) > 0 ? ToUtf8(decimal) : ".";
        std::string text;
        const char* c = general;
        for (; *c != 'E'; ++c) text += (*c >= '0' && *c <= '9') || *c == '-' ? std::string(1, *c) : separator;
        text += *c++;
        text += *c++;  // the exponent's sign
        while (*c == '0' && std::strlen(c) > 2) ++c;
        return text + c;
    }
    UniqueBstr text;
    const HRESULT hr = VarBstrFromR8(value, LOCALE_USER_DEFAULT, 0, text.Out());
    if (FAILED(hr)) throw ConversionFailure(hr);
    return Utf8(text);
}

}  // namespace starwright
