#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string>

#include "base/failure.h"
#include "platform/number_grouping.h"
#include "platform/text_win.h"
#include "platform/windows_platform.h"

// Text to number through oleaut32 in the user's locale: the very conversion an automation
// client's own runtime performs, with its separators, blanks, signs, exponents and rounding,
// once the thousands separators are found where they belong.

namespace starwright {

namespace {

UniqueBstr MakeBstr(const std::wstring& text) {
    UniqueBstr bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
    if (!bstr.Get()) throw std::bad_alloc();
    return bstr;
}

// Wine's VarParseNumFromStr faults on an exponent that does not fit 32 bits ("1e2147483648").
// Nine exponent digits already exceed any number's range, so longer runs are cut to
// 999999999 before the text is handed over; the result (overflow, or zero for a negative
// exponent) is what the longer exponent means.
std::wstring CapExponentDigits(std::wstring text) {
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] != L'e' && text[at] != L'E') continue;
        size_t digits = at + 1;
        while (digits < text.size() && (text[digits] == L'+' || text[digits] == L'-')) ++digits;
        size_t end = digits;
        while (end < text.size() && text[end] >= L'0' && text[end] <= L'9') ++end;
        size_t first = digits;
        while (first < end && text[first] == L'0') ++first;
        if (end - first > 9) text.replace(digits, end - digits, L"999999999");
    }
    return text;
}

// One of the user's separators, read as oleaut32 reads it for LOCALE_USER_DEFAULT: with the
// user's own settings, at every conversion, since they can change while the window is open.
std::string UserSeparator(LCTYPE type, const char* fallback) {
    wchar_t text[8] = {};
    const int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, text, 8);
    if (length <= 1) return fallback;
    return ToUtf8(std::wstring_view(text, length - 1));
}

void RequireGroupedThousands(const std::string& text) {
    if (!HasGroupedThousands(text, UserSeparator(LOCALE_SDECIMAL, "."), UserSeparator(LOCALE_STHOUSAND, ",")))
        throw TypeMismatchFailure();
}

void Check(HRESULT hr) {
    if (SUCCEEDED(hr)) return;
    if (hr == DISP_E_OVERFLOW) throw OverflowFailure();
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
    throw TypeMismatchFailure();
}

}  // namespace

double WindowsNumberText::ParseDouble(const std::string& text) {
    RequireGroupedThousands(text);
    const UniqueBstr wide = MakeBstr(CapExponentDigits(ToWide(text)));
    double value = 0;
    Check(VarR8FromStr(wide.Get(), LOCALE_USER_DEFAULT, 0, &value));
    return value;
}

int32_t WindowsNumberText::ParseInt32(const std::string& text) {
    RequireGroupedThousands(text);
    const UniqueBstr wide = MakeBstr(CapExponentDigits(ToWide(text)));
    LONG value = 0;
    Check(VarI4FromStr(wide.Get(), LOCALE_USER_DEFAULT, 0, &value));
    return static_cast<int32_t>(value);
}

}  // namespace starwright
