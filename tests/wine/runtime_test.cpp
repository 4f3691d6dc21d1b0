// plugin/runtime/ on its own: a DLL linked with it as Starwright.dll is (runtime_test_dll.cpp),
// loaded, driven from many threads and unloaded as a host may, must give back everything it
// took: the exception globals and thread data of threads that end, those of threads still
// alive when it unloads, and at each unload its TLS slot, handles and memory.

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "tests/wine/plugin_test_support.h"

namespace starwright {
namespace {

using IntFn = int (*)();
using IntOfIntFn = int (*)(int);

// The blocks a module takes from the C runtime's heap and has not given back, counted where the
// module calls it: while this lives, the module's import table sends malloc, calloc, realloc and
// free through counting functions. The heap's own total says nothing of the module: msvcrt.dll's
// heap also holds what msvcrt.dll and the system's DLLs that use it keep for themselves, as they
// see fit (under Wine 10, a few blocks more after the first threads and loads).
class ModuleHeap {
public:
    explicit ModuleHeap(HMODULE module) : module_(module) {
        held_.clear();
        Redirect("malloc", &malloc_, reinterpret_cast<void*>(&Malloc));
        Redirect("calloc", &calloc_, reinterpret_cast<void*>(&Calloc));
        Redirect("realloc", &realloc_, reinterpret_cast<void*>(&Realloc));
        Redirect("free", &free_, reinterpret_cast<void*>(&Free));
    }
    // Puts the import table back, unless the module has been unloaded with it.
    ~ModuleHeap() {
        HMODULE still = nullptr;
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                reinterpret_cast<LPCWSTR>(module_), &still) || still != module_)
            return;
        for (const auto& [slot, original] : redirected_) Write(slot, original);
    }
    ModuleHeap(const ModuleHeap&) = delete;
    ModuleHeap& operator=(const ModuleHeap&) = delete;

    bool Counting() const { return redirected_.size() == 4; }
    size_t Held() const {
        AcquireSRWLockExclusive(&lock_);
        const size_t held = held_.size();
        ReleaseSRWLockExclusive(&lock_);
        return held;
    }

private:
    template <class Function>
    void Redirect(const char* name, Function* original, void* counting) {
        void** slot = ImportSlot(name);
        if (!slot) return;
        *original = reinterpret_cast<Function>(*slot);
        redirected_.push_back({slot, *slot});
        Write(slot, counting);
    }
    void** ImportSlot(const char* name) const {
        auto* base = reinterpret_cast<BYTE*>(module_);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
        for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); imports && dll->Name; ++dll) {
            if (lstrcmpiA(reinterpret_cast<char*>(base + dll->Name), "msvcrt.dll") != 0) continue;
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
            for (; dll->OriginalFirstThunk && names->u1.AddressOfData; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                const auto* import = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(import->Name), name) == 0)
                    return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
        return nullptr;
    }
    static void Write(void** slot, void* value) {
        DWORD protection = 0;
        VirtualProtect(slot, sizeof value, PAGE_READWRITE, &protection);
        *slot = value;
        VirtualProtect(slot, sizeof value, protection, &protection);
    }
    static void Note(void* block, bool taken) {
        if (!block) return;
        AcquireSRWLockExclusive(&lock_);
        if (taken) held_.insert(block);
        else held_.erase(block);  // one taken before counting began goes unnoticed
        ReleaseSRWLockExclusive(&lock_);
    }
    static void* Malloc(size_t size) {
        void* block = malloc_(size);
        Note(block, true);
        return block;
    }
    static void* Calloc(size_t count, size_t size) {
        void* block = calloc_(count, size);
        Note(block, true);
        return block;
    }
    static void* Realloc(void* block, size_t size) {
        void* moved = realloc_(block, size);
        if (moved || size == 0) Note(block, false);
        Note(moved, true);
        return moved;
    }
    static void Free(void* block) {
        Note(block, false);
        free_(block);
    }

    HMODULE module_;
    std::vector<std::pair<void**, void*>> redirected_;
    static inline SRWLOCK lock_ = SRWLOCK_INIT;
    static inline std::unordered_set<void*> held_;
    static inline void* (*malloc_)(size_t) = nullptr;
    static inline void* (*calloc_)(size_t, size_t) = nullptr;
    static inline void* (*realloc_)(void*, size_t) = nullptr;
    static inline void (*free_)(void*) = nullptr;
};

// The test DLL, loaded for one test and unloaded at its end.
class RuntimeModule {
public:
    RuntimeModule() : module_(LoadLibraryW(test::BesideTest(L"starwright_runtime_test.dll").c_str())) {}
    ~RuntimeModule() { Unload(); }
    RuntimeModule(const RuntimeModule&) = delete;
    RuntimeModule& operator=(const RuntimeModule&) = delete;

    bool Loaded() const { return module_ != nullptr; }
    HMODULE Handle() const { return module_; }
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

TEST(RuntimeTest, ThreadsThatThrowAndEndGiveBackWhatTheyTook) {
    RuntimeModule module;
    ASSERT_TRUE(module.Loaded());
    ASSERT_EQ(module.ThrowAndCatch(), 1);
    std::array<ThrowingThread, 300> runs{};
    std::vector<HANDLE> threads;
    threads.reserve(runs.size());
    const ModuleHeap heap(module.Handle());
    ASSERT_TRUE(heap.Counting());
    for (auto& run : runs) {
        run.module = &module;
        threads.push_back(StartThread(&ThrowAndEnd, &run));
        ASSERT_NE(threads.back(), nullptr);
    }
    JoinAll(threads);
    EXPECT_EQ(heap.Held(), 0u);
    for (const auto& run : runs) EXPECT_EQ(run.caught, 1);
}

TEST(RuntimeTest, UnloadingWhileThreadsLiveGivesBackTheirsToo) {
    std::array<ThrowingThread, 8> runs{};
    std::array<HANDLE, 8> thrown{};
    std::vector<HANDLE> threads;
    threads.reserve(runs.size());
    RuntimeModule module;
    ASSERT_TRUE(module.Loaded());
    const ModuleHeap heap(module.Handle());
    ASSERT_TRUE(heap.Counting());
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
    EXPECT_EQ(heap.Held(), 0u);
    for (const auto& run : runs) EXPECT_EQ(run.caught, 1);
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
    constexpr long kLoads = 200;
    for (long i = 0; i < kLoads; ++i) cycle();
    EXPECT_EQ(test::FreeTlsSlots(), freeTlsSlots);
    // Handles and the C runtime heap's blocks are the process's too: under Wine 10 a background
    // thread of the system's may start or end between the two readings, with a few of each. What a
    // load kept would be there once per load; less than one per ten loads is none.
    EXPECT_LT(test::OpenHandles() - handles, kLoads / 10);
    EXPECT_LT(test::HeapInUse().blocks - heap.blocks, kLoads / 10);
}

}  // namespace
}  // namespace starwright
