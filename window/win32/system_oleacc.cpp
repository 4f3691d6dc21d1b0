#include "window/win32/system_oleacc.h"

namespace starwright {

namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
HMODULE g_oleacc = nullptr;
OleaccFunctions g_functions;

HMODULE LoadFromSystemFolder() {
    HMODULE module = LoadLibraryExW(L"oleacc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Vista and Windows 7 without the update that brought the flag (KB2533623) refuse it as an
    // invalid parameter; there the full path does the same.
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    constexpr wchar_t kFile[] = L"\\oleacc.dll";
    wchar_t path[MAX_PATH + sizeof kFile / sizeof kFile[0]] = {};
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    for (size_t i = 0; i < sizeof kFile / sizeof kFile[0]; ++i) path[length + i] = kFile[i];
    // Its own imports are then looked for beside it, in the system folder, first.
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <class Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

bool SystemOleacc(OleaccFunctions& functions) noexcept {
    AcquireSRWLockExclusive(&g_lock);
    if (!g_oleacc) {
        if (HMODULE module = LoadFromSystemFolder()) {
            OleaccFunctions found;
            found.createStdAccessibleObject = Export<decltype(found.createStdAccessibleObject)>(module, "CreateStdAccessibleObject");
            found.lresultFromObject = Export<decltype(found.lresultFromObject)>(module, "LresultFromObject");
            found.objectFromLresult = Export<decltype(found.objectFromLresult)>(module, "ObjectFromLresult");
            if (found.createStdAccessibleObject && found.lresultFromObject && found.objectFromLresult) {
                g_oleacc = module;
                g_functions = found;
            } else {
                FreeLibrary(module);
            }
        }
    }
    functions = g_functions;
    const bool loaded = g_oleacc != nullptr;
    ReleaseSRWLockExclusive(&g_lock);
    return loaded;
}

void ReleaseSystemOleacc() noexcept {
    AcquireSRWLockExclusive(&g_lock);
    HMODULE module = g_oleacc;
    g_oleacc = nullptr;
    g_functions = {};
    ReleaseSRWLockExclusive(&g_lock);
    if (module) FreeLibrary(module);
}

}  // namespace starwright
