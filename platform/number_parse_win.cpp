#include <windows.h>
#include <oleauto.h>

#include <new>
#include <optional>
#include <string>

#include "base/failure.h"
#include "platform/number_grouping.h"
#include "platform/text_win.h"
#include "platform/windows_platform.h"

// Text to number through oleaut32: the very conversion an automation client's own runtime
// performs, with its exponents and rounding, of the number the user's settings read in the
// typed text.

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

// One of the user's settings, read as oleaut32 reads them for LOCALE_USER_DEFAULT: with the
// user's own changes, at every conversion, since they can change while the window is open.
// Empty when the setting is empty; the fallback only when it cannot be read.
std::string UserSetting(LCTYPE type, const char* fallback) {
    wchar_t text[16] = {};
    const int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, text, 16);
    if (length == 0) return fallback;
    return ToUtf8(std::wstring_view(text, length - 1));
}

// The typed text made plain by the user's settings, or a type mismatch. oleaut32 reads the
// plain text in the invariant locale, where "." is the decimal point and the text holds no
// other separator: read with the user's settings, a "." could also be the currency's grouping
// symbol, which oleaut32 skips wherever it stands.
UniqueBstr PlainBstr(const std::string& text) {
    const NumberSeparators locale{
        UserSetting(LOCALE_SDECIMAL, "."),        UserSetting(LOCALE_STHOUSAND, ","),
        UserSetting(LOCALE_SMONDECIMALSEP, "."), UserSetting(LOCALE_SMONTHOUSANDSEP, ","),
        UserSetting(LOCALE_SGROUPING, "3;0"),
    };
    const std::optional<std::string> plain = PlainNumberText(text, locale);
    if (!plain) throw TypeMismatchFailure();
    return MakeBstr(CapExponentDigits(ToWide(*plain)));
}

constexpr LCID kPlainLocale = LOCALE_INVARIANT;
constexpr ULONG kPlainFlags = LOCALE_NOUSEROVERRIDE;

void Check(HRESULT hr) {
    if (SUCCEEDED(hr)) return;
    if (hr == DISP_E_OVERFLOW) throw OverflowFailure();
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
    throw TypeMismatchFailure();
}

}  // namespace

double WindowsNumberText::ParseDouble(const std::string& text) {
    const UniqueBstr plain = PlainBstr(text);
    double value = 0;
    Check(VarR8FromStr(plain.Get(), kPlainLocale, kPlainFlags, &value));
    return value;
}

int32_t WindowsNumberText::ParseInt32(const std::string& text) {
    const UniqueBstr plain = PlainBstr(text);
    LONG value = 0;
    Check(VarI4FromStr(plain.Get(), kPlainLocale, kPlainFlags, &value));
    return static_cast<int32_t>(value);
}

}  // namespace starwright
