// plugin/runtime/ on its own: a DLL linked with it as Starwright.dll is (runtime_test_dll.cpp),
// loaded, driven from many threads and unloaded as a host may, must give back everything it
// took: the exception globals and thread data of threads that end, those of threads still
// alive when it unloads, and at each unload its TLS slot, handles and memory.

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "tests/wine/plugin_test_support.h"

namespace starwright {
namespace {

using IntFn = int (*)();
using IntOfIntFn = int (*)(int);

// The test DLL, loaded for one test and unloaded at its end.
class RuntimeModule {
public:
    RuntimeModule() : module_(LoadLibraryW(test::BesideTest(L"starwright_runtime_test.dll").c_str())) {}
    ~RuntimeModule() { Unload(); }
    RuntimeModule(const RuntimeModule&) = delete;
    RuntimeModule& operator=(const RuntimeModule&) = delete;

    bool Loaded() const { return module_ != nullptr; }
    void Unload() {
        if (module_) FreeLibrary(module_);
        module_ = nullptr;
    }
    int ThrowAndCatch() const { return test::ExportOf<IntFn>(module_, "ThrowAndCatch")(); }
    int LocalStatic(int callers) const { return test::ExportOf<IntOfIntFn>(module_, "LocalStatic")(callers); }
    int Initialisations() const { return test::ExportOf<IntFn>(module_, "Initialisations")(); }

private:
    HMODULE module_;
};

// Threads with small stacks, so that hundreds fit a 32-bit process at once.
HANDLE StartThread(LPTHREAD_START_ROUTINE run, void* parameter) {
    return CreateThread(nullptr, 64 * 1024, run, parameter, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
}

void JoinAll(std::vector<HANDLE>& threads) {
    for (HANDLE thread : threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    threads.clear();
}

struct ThrowingThread {
    const RuntimeModule* module = nullptr;
    int caught = 0;
    HANDLE hold = nullptr;  // when set, the thread waits for it before it ends
    HANDLE thrown = nullptr;
};

DWORD WINAPI ThrowAndEnd(void* parameter) {
    auto& run = *static_cast<ThrowingThread*>(parameter);
    run.caught = run.module->ThrowAndCatch();
    if (run.thrown) SetEvent(run.thrown);
    if (run.hold) WaitForSingleObject(run.hold, INFINITE);
    return 0;
}

// msvcrt.dll's malloc takes from the process heap (on Windows, and in Wine since version 10), where
// the system keeps what it makes once for threads and loads the first time a process has them:
// each case runs once to settle that, and is measured the second time.
TEST(RuntimeTest, ThreadsThatThrowAndEndGiveBackWhatTheyTook) {
    RuntimeModule module;
    ASSERT_TRUE(module.Loaded());
    ASSERT_EQ(module.ThrowAndCatch(), 1);
    std::array<ThrowingThread, 300> runs{};
    std::vector<HANDLE> threads;
    threads.reserve(runs.size());
    const auto batch = [&] {
        for (auto& run : runs) {
            run = {&module, 0, nullptr, nullptr};
            threads.push_back(StartThread(&ThrowAndEnd, &run));
            ASSERT_NE(threads.back(), nullptr);
        }
        JoinAll(threads);
        for (const auto& run : runs) EXPECT_EQ(run.caught, 1);
    };
    batch();
    const test::HeapUse before = test::HeapInUse();
    batch();
    EXPECT_EQ(test::HeapInUse(), before);
}

TEST(RuntimeTest, UnloadingWhileThreadsLiveGivesBackTheirsToo) {
    const auto unloadWhileThreadsLive = [] {
        std::array<ThrowingThread, 8> runs{};
        std::array<HANDLE, 8> thrown{};
        std::vector<HANDLE> threads;
        threads.reserve(runs.size());
        RuntimeModule module;
        ASSERT_TRUE(module.Loaded());
        HANDLE hold = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        for (size_t i = 0; i < runs.size(); ++i) {
            thrown[i] = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            runs[i] = {&module, 0, hold, thrown[i]};
            threads.push_back(StartThread(&ThrowAndEnd, &runs[i]));
        }
        WaitForMultipleObjects(static_cast<DWORD>(thrown.size()), thrown.data(), TRUE, INFINITE);
        module.Unload();
        SetEvent(hold);
        JoinAll(threads);
        for (HANDLE event : thrown) CloseHandle(event);
        CloseHandle(hold);
        for (const auto& run : runs) EXPECT_EQ(run.caught, 1);
    };
    unloadWhileThreadsLive();
    const test::HeapUse before = test::HeapInUse();
    unloadWhileThreadsLive();
    EXPECT_EQ(test::HeapInUse(), before);
}

struct StaticRace {
    const RuntimeModule* module = nullptr;
    HANDLE start = nullptr;
    int value = 0;
};

DWORD WINAPI ReachLocalStatic(void* parameter) {
    auto& race = *static_cast<StaticRace*>(parameter);
    WaitForSingleObject(race.start, INFINITE);
    race.value = race.module->LocalStatic(8);
    return 0;
}

TEST(RuntimeTest, AFunctionLocalStaticReachedByEightThreadsAtOnceIsInitialisedOnce) {
    RuntimeModule module;
    ASSERT_TRUE(module.Loaded());
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::array<StaticRace, 8> races{};
    std::vector<HANDLE> threads;
    for (auto& race : races) {
        race = {&module, start, 0};
        threads.push_back(StartThread(&ReachLocalStatic, &race));
    }
    SetEvent(start);
    JoinAll(threads);
    CloseHandle(start);
    EXPECT_EQ(module.Initialisations(), 1);
    for (const auto& race : races) EXPECT_EQ(race.value, 42);
}

TEST(RuntimeTest, TwoHundredLoadsAndUnloadsKeepNothing) {
    const auto cycle = [] {
        RuntimeModule module;
        ASSERT_TRUE(module.Loaded());
        EXPECT_EQ(module.ThrowAndCatch(), 1);
        EXPECT_EQ(module.LocalStatic(1), 42);
    };
    cycle();
    const long handles = test::OpenHandles();
    const int freeTlsSlots = test::FreeTlsSlots();
    const test::HeapUse heap = test::HeapInUse();
    for (int i = 0; i < 200; ++i) cycle();
    EXPECT_EQ(test::HeapInUse(), heap);
    EXPECT_EQ(test::FreeTlsSlots(), freeTlsSlots);
    EXPECT_EQ(test::OpenHandles(), handles);
}

}  // namespace
}  // namespace starwright
