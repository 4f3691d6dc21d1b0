#pragma once
// What only Windows can show, and what only an administrator may do, in the Windows-side tests.
// Under Wine a Windows-only check is reported as skipped with its reason (in the run's output and
// in the test kit's summary), never passed; without an administrator's rights, a test that writes
// the machine's registry is skipped the same way.

#include <windows.h>

#include <gtest/gtest.h>

namespace starwright::test {

// Wine's ntdll exports wine_get_version; Windows' does not. Asked once.
inline bool RunningUnderWine() {
    static const bool wine = [] {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

// The test kit's runner sets this for its --standard-user runs: the tests take a standard user's
// path on an administrator's prompt (Wine cannot give a process a standard user's token).
inline bool StandardUserForced() {
    wchar_t value[8] = {};
    return GetEnvironmentVariableW(L"STARWRIGHT_TEST_STANDARD_USER", value, 8) > 0 && value[0] == L'1';
}

// The process runs with an administrator's rights (an elevated prompt; Wine's user always has them).
inline bool Elevated() {
    if (StandardUserForced()) return false;
    if (RunningUnderWine()) return true;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                          elevation.TokenIsElevated != 0;
    CloseHandle(token);
    return elevated;
}

}  // namespace starwright::test

// At the top of a test whose point only Windows can show: skipped under Wine with its reason.
#define STARWRIGHT_WINDOWS_ONLY(reason)                                                     \
    if (::starwright::test::RunningUnderWine()) GTEST_SKIP() << "Windows only: " << reason

// At the top of a test, or of its fixture's SetUp, that registers in the machine's registry. (In
// SetUpTestSuite a skip does not keep this GoogleTest from running the suite's tests.)
#define STARWRIGHT_NEEDS_ADMINISTRATOR()                                                    \
    if (!::starwright::test::Elevated()) GTEST_SKIP() << "needs an administrator: run the kit from an elevated prompt"
