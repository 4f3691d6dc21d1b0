// A DLL of nothing but the statically linked C++ runtime's busiest paths, linked with
// plugin/runtime/ as Starwright.dll is (tests/wine/runtime.cmake), for runtime_test.cpp to load,
// drive from many threads and unload.

#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <string>

namespace {

std::atomic<int> g_arrived{0};
std::atomic<int> g_initialisations{0};

}  // namespace

// An exception with a message, as a failed host call throws: the runtime's exception object,
// the thread's exception globals and the message's string. 1 when caught as thrown.
extern "C" __declspec(dllexport) int ThrowAndCatch() {
    try {
        throw std::runtime_error(std::string("The host is not responding"));
    } catch (const std::runtime_error& e) {
        return std::string(e.what()) == "The host is not responding" ? 1 : 0;
    }
    return 0;
}

// A function-local static that `callers` threads reach together: its initialization waits
// until all of them have arrived, so that the others meet the runtime's guard while it runs.
extern "C" __declspec(dllexport) int LocalStatic(int callers) {
    ++g_arrived;
    static const int value = [callers] {
        ++g_initialisations;
        while (g_arrived < callers) SwitchToThread();
        // The last to arrive still has a few instructions to go before it waits on the guard.
        if (callers > 1) Sleep(10);
        return 42;
    }();
    return value;
}

extern "C" __declspec(dllexport) int Initialisations() { return g_initialisations; }
