// A long night in one host process: Starwright.dll loaded through COM the way the host loads
// it, its window shown and closed with "Exit" 1,000 times on one object (one showing in ten
// switching through all three tools, the FITS tool listing the host's images), then 200 cycles
// of a new object shown once, released, and the module freed by CoFreeUnusedLibraries. The
// goals: the process's handles, TLS slots, GDI objects and USER objects flat after warm-up,
// private bytes grown by no more than 256 KB, and the module unloaded at the end. A missed
// handle goal is broken down by the type of object leaked.
//
// Run with `make bench`, under Wine. Prints the figures against the goals; exits 1 when one is
// missed. Wine does not count GDI and USER objects per process (GetGuiResources answers 0), so
// there GDI objects are counted by probing the GDI handle table and USER objects by counting
// the process's windows; private bytes are the committed private pages when the system does not
// report them.

#include <windows.h>

#include <objbase.h>
#include <psapi.h>
#include <winternl.h>
#include <wrl/client.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "host/sim/com/sim_com_server.h"
#include "host/sim/sim_host.h"
#include "plugin/identifiers.h"
#include "plugin/plug_in_interface.h"
#include "tests/wine/plugin_test_support.h"
#include "tests/wine/window_driver.h"

namespace starwright {
namespace {

using Microsoft::WRL::ComPtr;
namespace d = driver;

// The process's handles by the type of their object ("Event", "Thread", ...), which tells what
// a missed handle goal leaks.
std::map<std::wstring, long> HandlesByType() {
    using QueryObject = NTSTATUS(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    std::map<std::wstring, long> types;
    DWORD flags = 0;
    for (ULONG_PTR value = 4; query && value < 0x10000; value += 4) {
        const auto handle = reinterpret_cast<HANDLE>(value);
        if (!GetHandleInformation(handle, &flags)) continue;
        // PUBLIC_OBJECT_TYPE_INFORMATION: the type's name, then its buffer.
        alignas(8) unsigned char info[512];
        const auto* name = reinterpret_cast<const UNICODE_STRING*>(info);
        if (query(handle, ObjectTypeInformation, info, sizeof info, nullptr) >= 0)
            ++types[std::wstring(name->Buffer, name->Length / sizeof(wchar_t))];
        else
            ++types[L"(unknown)"];
    }
    return types;
}

struct Counts {
    std::map<std::wstring, long> handleTypes;
    long handles = 0;
    long tlsSlots = 0;  // taken since the benchmark began
    long gdi = 0;
    long user = 0;
    long long privateBytes = 0;
};

long GdiObjects() {
    if (const DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return static_cast<long>(count);
    // Wine's table answers to a handle's index alone.
    long found = 0;
    for (ULONG_PTR index = 1; index < 0x10000; ++index)
        found += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) ? 1 : 0;
    return found;
}

BOOL CALLBACK CountWindow(HWND hwnd, LPARAM count) {
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    ++*reinterpret_cast<long*>(count);
    EnumChildWindows(hwnd, &CountWindow, count);
    return TRUE;
}

long UserObjects() {
    if (const DWORD count = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)) return static_cast<long>(count);
    long windows = 0;
    EnumWindows(&CountWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND hwnd = nullptr; (hwnd = FindWindowExW(HWND_MESSAGE, hwnd, nullptr, nullptr));) ++windows;
    return windows;
}

long long PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory) &&
        memory.PrivateUsage > 0)
        return static_cast<long long>(memory.PrivateUsage);
    long long total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += static_cast<long long>(region.RegionSize);
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

const int g_freeTlsSlotsAtStart = test::FreeTlsSlots();

Counts Measure() {
    return {HandlesByType(), test::OpenHandles(), g_freeTlsSlotsAtStart - test::FreeTlsSlots(), GdiObjects(),
            UserObjects(), PrivateBytes()};
}

// Runs inside the window's modal loop: posted before DoModal, it arrives once the window is up.
// wParam 1 switches through the three tools before "Exit".
constexpr UINT kDriveShowing = WM_APP + 1;

LRESULT CALLBACK DriverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kDriveShowing) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (!d::FindForm()) {
        PostMessageW(hwnd, message, wParam, lParam);
        return 0;
    }
    if (wParam) {
        for (int16_t option : {1, 2, 0}) d::Click("optOptions", option);
    }
    d::Click("cmdExit");
    return 0;
}

struct Session {
    sim::SimHost host;
    sim::SimComServer server{host};
    HWND driver = nullptr;
    int failures = 0;

    HRESULT Show(_PlugIn& plugIn, bool allTools) {
        PostMessageW(driver, kDriveShowing, allTools ? 1 : 0, 0);
        const HRESULT hr = plugIn.DoModal(nullptr);
        // The host's call log is the host's memory, not the plug-in's.
        host.calls.clear();
        if (FAILED(hr)) ++failures;
        return hr;
    }
};

bool Flat(const char* what, long before, long after) {
    const bool met = after <= before;
    std::printf("  %-28s %10ld %10ld %+9ld   flat            %s\n", what, before, after, after - before, met ? "ok" : "MISSED");
    return met;
}

bool Report(const char* part, const Counts& before, const Counts& after) {
    std::printf("%s\n  %-28s %10s %10s %9s   goal\n", part, "", "warmed up", "end", "change");
    bool met = Flat("handles", before.handles, after.handles);
    if (!met) {
        std::map<std::wstring, long> change = after.handleTypes;
        for (const auto& [type, count] : before.handleTypes) change[type] -= count;
        for (const auto& [type, count] : change)
            if (count) std::printf("    %-26ls %+32ld\n", type.c_str(), count);
    }
    // A process has about a thousand: one kept at every load ends the process at the last.
    met = Flat("TLS slots", before.tlsSlots, after.tlsSlots) && met;
    met = Flat("GDI objects", before.gdi, after.gdi) && met;
    met = Flat("USER objects", before.user, after.user) && met;
    const long long growth = after.privateBytes - before.privateBytes;
    const bool memoryMet = growth <= 256 * 1024;
    std::printf("  %-28s %9lldK %9lldK %+8lldK   <= +256K        %s\n", "private bytes", before.privateBytes / 1024,
                after.privateBytes / 1024, growth / 1024, memoryMet ? "ok" : "MISSED");
    return met && memoryMet;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int Run() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    if (FAILED(test::HostLibraryFound()) || FAILED(test::CallExport("DllRegisterServer"))) {
        std::printf("could not find the host library or register Starwright.dll beside the benchmark\n");
        return 2;
    }
    Session session;
    for (const char* name : {"M31_L_001.fit", "M31_L_002.fit", "NGC7000.fit"}) session.host.AddDocument(name);
    if (FAILED(session.server.Register())) return 2;
    WNDCLASSW driverClass{};
    driverClass.lpfnWndProc = &DriverProc;
    driverClass.hInstance = GetModuleHandleW(nullptr);
    driverClass.lpszClassName = L"StarwrightSoakDriver";
    RegisterClassW(&driverClass);
    session.driver = CreateWindowW(driverClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   driverClass.hInstance, nullptr);

    constexpr int kShowings = 1000, kShowingsWarmUp = 100, kCycles = 200, kCyclesWarmUp = 20;
    bool met = true;
    auto start = std::chrono::steady_clock::now();
    {
        ComPtr<_PlugIn> plugIn;
        if (FAILED(CoCreateInstance(plugin::kPlugInClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&plugIn)))) return 2;
        Counts warmedUp;
        for (int i = 0; i < kShowings; ++i) {
            if (i == kShowingsWarmUp) warmedUp = Measure();
            session.Show(*plugIn.Get(), i % 10 == 9);
        }
        const Counts end = Measure();
        const double seconds = Seconds(start);
        met = Report("1,000 showings of one object, one in ten through all three tools", warmedUp, end) && met;
        std::printf("  %.1f s, %.1f ms a showing\n", seconds, 1000 * seconds / kShowings);
    }

    start = std::chrono::steady_clock::now();
    Counts warmedUp;
    int stillLoaded = 0;
    for (int i = 0; i < kCycles; ++i) {
        if (i == kCyclesWarmUp) warmedUp = Measure();
        ComPtr<_PlugIn> plugIn;
        if (FAILED(CoCreateInstance(plugin::kPlugInClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&plugIn)))) {
            ++session.failures;
            continue;
        }
        session.Show(*plugIn.Get(), false);
        plugIn.Reset();
        CoFreeUnusedLibraries();
        stillLoaded += GetModuleHandleW(L"Starwright.dll") ? 1 : 0;
    }
    const Counts end = Measure();
    const double seconds = Seconds(start);
    met = Report("200 cycles: create, show, release, CoFreeUnusedLibraries", warmedUp, end) && met;
    std::printf("  %.1f s, %.1f ms a cycle\n", seconds, 1000 * seconds / kCycles);

    // What loading and freeing the module costs with no object made: the C++ runtime linked into
    // it, which must give back at each unload what it took at the load.
    {
        const Counts before = Measure();
        constexpr int kLoads = 100;
        for (int i = 0; i < kLoads; ++i) FreeLibrary(LoadLibraryW(test::BesideTest(L"Starwright.dll").c_str()));
        const Counts after = Measure();
        std::printf(
            "for comparison, LoadLibrary and FreeLibrary alone: %+.1f handles, %+.1f TLS slots, %+.1fK private bytes a load\n",
            double(after.handles - before.handles) / kLoads, double(after.tlsSlots - before.tlsSlots) / kLoads,
            double(after.privateBytes - before.privateBytes) / 1024 / kLoads);
    }

    const bool unloaded = GetModuleHandleW(L"Starwright.dll") == nullptr;
    std::printf("module unloaded after every cycle: %s (%d of %d cycles left it loaded)\n", stillLoaded ? "no" : "yes",
                stillLoaded, kCycles);
    std::printf("module unloaded at the end:        %s\n", unloaded ? "yes" : "NO");
    std::printf("failed showings:                   %d\n", session.failures);
    met = met && unloaded && stillLoaded == 0 && session.failures == 0;

    DestroyWindow(session.driver);
    test::CallExport("DllUnregisterServer");
    return met ? 0 : 1;
}

}  // namespace
}  // namespace starwright

int main() { return starwright::Run(); }
