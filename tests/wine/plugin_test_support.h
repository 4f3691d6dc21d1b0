#pragma once
// Shared by the Starwright.dll tests: the files next to the test program (the DLL and the
// stand-in host library), what of the plug-in and the host is registered on the PC, what the
// process holds (handles, TLS slots, heap) and readable HRESULTs in failure messages.

#include <windows.h>

#include <malloc.h>
#include <ole2.h>

#include <ostream>
#include <string>
#include <vector>

#include "plugin/identifiers.h"

namespace starwright::test {

// A file in the folder of the running test program.
inline std::wstring BesideTest(const wchar_t* file) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder + file;
}

// The key is there, in that registry view, and this process may open it.
inline bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// A key of the machine's classes, in either registry view.
inline bool ClassesKeyExists(const std::wstring& path) {
    return KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + path, KEY_WOW64_32KEY) ||
           KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + path, KEY_WOW64_64KEY);
}

// Where the plug-in is registered on this PC (Starwright installed, or a build registered by
// hand), what registered it; empty where nothing of it is. A test that registers and removes the
// plug-in would change that registration, so it runs only where this is empty.
inline std::string PlugInRegisteredOnThisPc() {
    const std::wstring keys[] = {std::wstring(L"CLSID\\") + plugin::kPlugInClsidText, plugin::kProgId,
                                 std::wstring(L"TypeLib\\") + plugin::kLibIdText};
    for (const std::wstring& path : keys)
        if (ClassesKeyExists(path)) return "Starwright is registered on this PC (HKLM\\Software\\Classes\\" + std::string(path.begin(), path.end()) + ")";
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
        if (KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\" + keys[0], view))
            return "Starwright is registered for this user (HKCU\\Software\\Classes\\" + std::string(keys[0].begin(), keys[0].end()) + ")";
    return {};
}

// The host's type library, which DoModal's parameter type refers to, as this process finds it:
// the programs that load Starwright.dll carry a manifest (host_library.rc) that names the stand-in
// host library beside them ("MaxIm_DL.exe") for it, so nothing is registered for it on the PC and
// a host's own registration there is left alone. S_OK when it resolves.
inline HRESULT HostLibraryFound() {
    BSTR path = nullptr;
    const HRESULT hr = QueryPathOfRegTypeLib(plugin::kHostLibId, 1, 0, 0, &path);
    SysFreeString(path);
    return hr;
}

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using NoArgumentExportFn = HRESULT(STDAPICALLTYPE*)();

// An export of a loaded module as the function type it has (null when the module lacks it).
// GetProcAddress answers with a generic function pointer; going through void* tells the compiler
// that the cast to the real type is meant.
template <class Function>
Function ExportOf(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Calls an export of Starwright.dll that takes no argument, such as DllRegisterServer, from a
// load of the module of its own.
inline HRESULT CallExport(const char* name) {
    HMODULE module = LoadLibraryW(BesideTest(L"Starwright.dll").c_str());
    if (!module) return HRESULT_FROM_WIN32(GetLastError());
    auto call = ExportOf<NoArgumentExportFn>(module, name);
    const HRESULT hr = call ? call() : E_NOTIMPL;
    FreeLibrary(module);
    return hr;
}

// The process's open handles. Wine has no count of them, so there the handle values are probed.
inline long OpenHandles() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return static_cast<long>(count);
    long found = 0;
    DWORD flags = 0;
    for (ULONG_PTR handle = 4; handle < 0x10000; handle += 4)
        found += GetHandleInformation(reinterpret_cast<HANDLE>(handle), &flags) ? 1 : 0;
    return found;
}

// How many TLS slots the process could still take (a process has about a thousand).
inline int FreeTlsSlots() {
    std::vector<DWORD> taken;
    for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(slot);
    for (DWORD slot : taken) TlsFree(slot);
    return static_cast<int>(taken.size());
}

// The C runtime's heap in use, as _heapwalk sees it: what malloc and new hold for the test
// program and for every module linked with mingw-w64 (Wine's own modules use other heaps).
// Read only while no other thread allocates.
struct HeapUse {
    long blocks = 0;
    long bytes = 0;
    bool operator==(const HeapUse&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const HeapUse& use) {
    return out << use.blocks << " blocks, " << use.bytes << " bytes";
}

inline HeapUse HeapInUse() {
    HeapUse use;
    _HEAPINFO entry{};
    while (_heapwalk(&entry) == _HEAPOK) {
        if (entry._useflag != _USEDENTRY) continue;
        ++use.blocks;
        use.bytes += static_cast<long>(entry._size);
    }
    return use;
}

inline std::string Hex(HRESULT hr) {
    char text[16];
    wsprintfA(text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

}  // namespace starwright::test

// At the top of a test that registers and removes the plug-in (in a file that includes GoogleTest):
// skipped where it is registered already, so that a tester's own registration is never changed.
#define STARWRIGHT_NEEDS_PLUGIN_UNREGISTERED()                                                          \
    if (const std::string registered = ::starwright::test::PlugInRegisteredOnThisPc(); !registered.empty()) \
    GTEST_SKIP() << registered << ": this test registers and removes the plug-in; run the kit where "      \
                                  "Starwright is not installed to run it"

namespace starwright::test {

// Owners for what oleaut32 hands out.
struct OwnedBstr {
    BSTR text = nullptr;
    OwnedBstr() = default;
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    ~OwnedBstr() { SysFreeString(text); }
    std::wstring Text() const { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }
};

struct OwnedVariant {
    VARIANT value;
    OwnedVariant() { VariantInit(&value); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    ~OwnedVariant() { VariantClear(&value); }
};

}  // namespace starwright::test
