// The main of the Windows-side test programs. They run on one single-threaded apartment, like
// the host's user-interface thread, so that COM objects are reached as the plug-in reaches them.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "tests/wine/test_main.h"

namespace starwright {
namespace {
bool g_german = false;
bool g_french = false;
}  // namespace

bool InGermanLocale() { return g_german; }
bool InFrenchLocale() { return g_french; }

}  // namespace starwright

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    starwright::g_german = argc > 1 && std::strcmp(argv[1], "de") == 0;
    starwright::g_french = argc > 1 && std::strcmp(argv[1], "fr") == 0;
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
