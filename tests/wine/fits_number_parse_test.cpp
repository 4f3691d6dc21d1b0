// WindowsNumberText's text-to-number conversions (oleaut32 in the user's locale) against the
// table the portable twin is tested with. Run once per locale; the first argument names it
// ("en", "de" or "fr"). The user's own settings are run apart, in a user locale no other run
// uses (fits.cmake), so that nothing set there reaches the other runs even if this one ends
// half-way.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/text_win.h"
#include "platform/windows_platform.h"
#include "tests/number_parse_cases.h"
#include "tests/wine/test_main.h"
#include "tests/wine/windows_only.h"

namespace starwright {
namespace {

using number_parse_cases::kMismatch;
using number_parse_cases::V;

// French as Wine's locale writes it, grouping with a no-break space, through oleaut32 only (the
// twin meets French as a user's settings). oleaut32 takes a typed space for it as well, and so
// reads "1 5" as 15 unless the grouping is checked.
const number_parse_cases::Case kFrench[] = {
    {"1\xC2\xA0" "234,5", V(1234.5), V(1234)},
    {"1 234,5", V(1234.5), V(1234)},
    {" -12 345 678 ", V(-12345678), V(-12345678)},
    {"0,5", V(0.5), V(0)},
    {"2,5", V(2.5), V(2)},
    {"1 5", kMismatch, kMismatch},
    {"1\xC2\xA0" "5", kMismatch, kMismatch},
    {"1 23,5", kMismatch, kMismatch},
    {"1234 567", kMismatch, kMismatch},
    {"1,234 5", kMismatch, kMismatch},
    {"1.5", kMismatch, kMismatch},
};

TEST(WindowsNumberParse, UserLocaleIsTheOneAskedFor) {
    wchar_t decimal[8] = {};
    wchar_t thousands[8] = {};
    ASSERT_GT(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8), 0);
    ASSERT_GT(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousands, 8), 0);
    EXPECT_EQ(decimal, std::wstring(1, static_cast<wchar_t>(DecimalSeparator())));
    EXPECT_EQ(thousands, std::wstring(InGermanLocale() ? L"." : InFrenchLocale() ? L"\u00A0" : L","));
}

// The user's settings changed as Control Panel changes them, for as long as it lives; the ones
// before are put back at the end. Stops at the first that cannot be changed, which Failure()
// tells; where Group Policy forbids the user's own settings, SetLocaleInfo answers
// ERROR_ACCESS_DISABLED_BY_POLICY.
class UserSettings {
public:
    explicit UserSettings(const NumberSeparators& locale) {
        Set(LOCALE_SDECIMAL, locale.decimal) && Set(LOCALE_STHOUSAND, locale.thousands) &&
            Set(LOCALE_SMONDECIMALSEP, locale.currencyDecimal) && Set(LOCALE_SMONTHOUSANDSEP, locale.currencyThousands) &&
            Set(LOCALE_SGROUPING, locale.grouping);
    }
    ~UserSettings() {
        for (const auto& [type, value] : before_) SetLocaleInfoW(LOCALE_USER_DEFAULT, type, value.c_str());
        // As Control Panel does: programs that read the settings meanwhile read them again.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"intl"), SMTO_ABORTIFHUNG,
                            2000, &ignored);
    }
    UserSettings(const UserSettings&) = delete;
    UserSettings& operator=(const UserSettings&) = delete;

    // Empty where every setting was changed.
    const std::string& Failure() const { return failure_; }
    bool ForbiddenByPolicy() const { return error_ == ERROR_ACCESS_DISABLED_BY_POLICY; }

private:
    bool Set(LCTYPE type, const std::string& value) {
        wchar_t before[16] = {};
        if (GetLocaleInfoW(LOCALE_USER_DEFAULT, type, before, 16) == 0) return Fail("GetLocaleInfo", type);
        if (!SetLocaleInfoW(LOCALE_USER_DEFAULT, type, ToWide(value).c_str())) return Fail("SetLocaleInfo", type);
        before_.emplace_back(type, before);
        return true;
    }
    bool Fail(const char* call, LCTYPE type) {
        error_ = GetLastError();
        failure_ = std::string(call) + " of locale item " + std::to_string(type) + " failed, error " + std::to_string(error_);
        return false;
    }
    std::vector<std::pair<LCTYPE, std::wstring>> before_;
    DWORD error_ = ERROR_SUCCESS;
    std::string failure_;
};

// In a test: skips where Group Policy forbids the user's own settings, and fails where they could
// not be changed otherwise.
#define STARWRIGHT_REQUIRE_SETTINGS_CHANGED(settings)                                           \
    if ((settings).ForbiddenByPolicy())                                                         \
        GTEST_SKIP() << "Group Policy forbids changing the user's own locale settings on this " \
                     << "PC (" << (settings).Failure() << ")";                                  \
    ASSERT_EQ((settings).Failure(), "")

TEST(WindowsNumberParseSettings, FollowsTheUsersOwnSettings) {
    WindowsNumberText numbers;
    for (const number_parse_cases::Settings& settings : number_parse_cases::kSettings) {
        SCOPED_TRACE(settings.name);
        const UserSettings changed(settings.locale);
        STARWRIGHT_REQUIRE_SETTINGS_CHANGED(changed);
        number_parse_cases::ExpectConversions(numbers, settings.cases);
    }
}

// What French (France) and German (Switzerland) write on the Windows that runs the test, taken
// from its own locale data and set as the user's settings: newer versions group French with a
// narrow no-break space (U+202F) and Swiss German with ’ (U+2019). A number the locale formats
// itself, and the same number typed with a plain space or ', read back as that number.
TEST(WindowsNumberParseSettings, ReadsWhatThisWindowsWritesInFrenchAndSwissGerman) {
    STARWRIGHT_WINDOWS_ONLY("Wine's locale data is not the running Windows version's; "
                            "FollowsTheUsersOwnSettings sets U+202F and U+2019 itself");
    WindowsNumberText numbers;
    for (const wchar_t* name : {L"fr-FR", L"de-CH"}) {
        SCOPED_TRACE(ToUtf8(name));
        const auto info = [&](LCTYPE type) {
            wchar_t value[16] = {};
            GetLocaleInfoEx(name, type, value, 16);
            return ToUtf8(value);
        };
        NumberSeparators locale;
        locale.decimal = info(LOCALE_SDECIMAL);
        locale.thousands = info(LOCALE_STHOUSAND);
        locale.currencyDecimal = info(LOCALE_SMONDECIMALSEP);
        locale.currencyThousands = info(LOCALE_SMONTHOUSANDSEP);
        locale.grouping = info(LOCALE_SGROUPING);
        const UserSettings changed(locale);
        STARWRIGHT_REQUIRE_SETTINGS_CHANGED(changed);
        wchar_t formatted[64] = {};
        ASSERT_GT(GetNumberFormatEx(name, 0, L"1234567.5", nullptr, formatted, 64), 0);
        std::wstring typed = formatted;
        for (wchar_t& ch : typed) {
            if (ch == L'\u202F' || ch == L'\u00A0') ch = L' ';
            if (ch == L'\u2019') ch = L'\'';
        }
        for (const std::wstring& text : {std::wstring(formatted), typed}) {
            SCOPED_TRACE(ToUtf8(text));
            EXPECT_EQ(numbers.ParseDouble(ToUtf8(text)), 1234567.5);
        }
    }
}

TEST(WindowsNumberParse, ConvertsLikeThePortableTwin) {
    WindowsNumberText numbers;
    if (InGermanLocale()) number_parse_cases::ExpectConversions(numbers, number_parse_cases::kGerman);
    else if (InFrenchLocale()) number_parse_cases::ExpectConversions(numbers, kFrench);
    else number_parse_cases::ExpectConversions(numbers, number_parse_cases::kEnglish);
}

}  // namespace
}  // namespace starwright
