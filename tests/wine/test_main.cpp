// The main of the Windows-side test programs. They run on one single-threaded apartment, like
// the host's user-interface thread, so that COM objects are reached as the plug-in reaches them.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <utility>

#include "tests/wine/test_main.h"

namespace starwright {
namespace {
bool g_german = false;
bool g_french = false;
}  // namespace

bool InGermanLocale() { return g_german; }
bool InFrenchLocale() { return g_french; }

namespace {

// A run for a language ("en", "de", "fr") expects a user locale of that language, writing numbers
// with that language's usual separators: under ctest the run sets it for Wine (LC_ALL), and a test
// of each such run checks it. The test kit runs every run in the machine's own locale (it sets
// STARWRIGHT_TEST_KIT), where a run for another language, or for the same language written with
// other separators (fr-FR on Windows groups digits with U+202F, de-CH with U+2019, a user may set
// their own), is skipped whole, saying which locale it needs. Empty when the locale fits.
std::string LocaleMismatch(const std::string& language) {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    const std::string locale(name, name + std::wcslen(name));
    const std::string how = "): Control Panel, Region, Format";
    if (locale.compare(0, language.size(), language) != 0 ||
        (locale.size() != language.size() && locale[language.size()] != '-'))
        return "needs a user locale of the language " + language + " (this one is " + locale + how;
    const std::wstring expected = language == "en" ? L".," : language == "de" ? L",." : L",\u00A0";
    wchar_t decimal[8] = {}, grouping[8] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8);
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, grouping, 8);
    if (std::wstring(decimal) + grouping == expected) return {};
    char text[256];
    std::snprintf(text, sizeof text,
                  "needs the separators of the language %s: decimal U+%04X and digit grouping U+%04X (this locale, %s, "
                  "has U+%04X and U+%04X",
                  language.c_str(), static_cast<unsigned>(expected[0]), static_cast<unsigned>(expected[1]),
                  locale.c_str(), static_cast<unsigned>(decimal[0]), static_cast<unsigned>(grouping[0]));
    return text + how;
}

std::string XmlText(const std::string& text) {
    std::string escaped;
    for (char ch : text) {
        switch (ch) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += ch;
        }
    }
    return escaped;
}

// GoogleTest's filter syntax: patterns with * and ?, separated by ':', and after a '-' the
// patterns that take tests out again. (GoogleTest applies it only once the tests run.)
bool GlobMatches(const char* pattern, const char* end, const char* name) {
    if (pattern == end) return *name == '\0';
    if (*pattern == '*') return GlobMatches(pattern + 1, end, name) || (*name && GlobMatches(pattern, end, name + 1));
    return *name && (*pattern == '?' || *pattern == *name) && GlobMatches(pattern + 1, end, name + 1);
}

bool AnyMatches(const std::string& patterns, const std::string& name) {
    for (size_t start = 0; start <= patterns.size();) {
        size_t end = patterns.find(':', start);
        if (end == std::string::npos) end = patterns.size();
        if (end > start && GlobMatches(patterns.data() + start, patterns.data() + end, name.c_str())) return true;
        start = end + 1;
    }
    return false;
}

bool Selected(const std::string& filter, const std::string& name) {
    const size_t minus = filter.find('-');
    const std::string positive = minus == std::string::npos ? filter : filter.substr(0, minus);
    const std::string negative = minus == std::string::npos ? std::string() : filter.substr(minus + 1);
    return (positive.empty() || AnyMatches(positive, name)) && !AnyMatches(negative, name);
}

// Reports every test the filter selects as skipped for `reason`, on the console and, when
// --gtest_output asks for it, in GoogleTest's XML (its own reporting counts the tests of a run
// skipped before they start as passed).
int SkipWholeRun(const std::string& reason) {
    const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
    std::string cases;
    int count = 0;
    for (int i = 0; i < unit.total_test_suite_count(); ++i) {
        const testing::TestSuite& suite = *unit.GetTestSuite(i);
        for (int j = 0; j < suite.total_test_count(); ++j) {
            const testing::TestInfo& test = *suite.GetTestInfo(j);
            if (!Selected(testing::GTEST_FLAG(filter), std::string(suite.name()) + "." + test.name())) continue;
            ++count;
            std::printf("[  SKIPPED ] %s.%s: %s\n", suite.name(), test.name(), reason.c_str());
            cases += std::string("    <testcase name=\"") + XmlText(test.name()) + "\" status=\"run\" result=\"skipped\" classname=\"" +
                     XmlText(suite.name()) + "\"><skipped message=\"" + XmlText(reason) + "\"/></testcase>\n";
        }
    }
    const std::string output = testing::GTEST_FLAG(output);
    if (output.rfind("xml:", 0) == 0) {
        if (FILE* xml = std::fopen(output.substr(4).c_str(), "w")) {
            std::fprintf(xml, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites tests=\"%d\" name=\"AllTests\">\n"
                              "  <testsuite name=\"AllTests\" tests=\"%d\">\n%s  </testsuite>\n</testsuites>\n",
                         count, count, cases.c_str());
            std::fclose(xml);
        }
    }
    return 0;
}

}  // namespace

}  // namespace starwright

int main() {
    // The arguments as Windows keeps them, in UTF-16: the test kit may sit in a folder whose name
    // the ANSI code page cannot write.
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 2;
    testing::InitGoogleTest(&argc, argv);
    const std::wstring first = argc > 1 ? argv[1] : L"";
    LocalFree(argv);
    const std::string language = first == L"en" || first == L"de" || first == L"fr" ? std::string(first.begin(), first.end()) : "";
    starwright::g_german = language == "de";
    starwright::g_french = language == "fr";
    if (!language.empty() && std::getenv("STARWRIGHT_TEST_KIT")) {
        const std::string mismatch = starwright::LocaleMismatch(language);
        if (!mismatch.empty()) return starwright::SkipWholeRun(mismatch);
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    // A run whose filter matched nothing would pass having tested nothing (a suite renamed).
    if (!testing::GTEST_FLAG(list_tests) && testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        std::fprintf(stderr, "no test matches --gtest_filter=%s\n", testing::GTEST_FLAG(filter).c_str());
        return 1;
    }
    return result;
}
