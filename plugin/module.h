#pragma once
// The module's own bookkeeping: its handle and path, and the one lock count that live objects,
// IClassFactory::LockServer and thread windows holding host objects raise; DllCanUnloadNow
// answers from it.

#include <windows.h>

#include <string>

namespace starwright::plugin {

void SetModuleHandle(HMODULE module);
// The module's full path, for the registry and for loading the embedded type library.
std::wstring ModulePath();

void LockModule();
void UnlockModule();
bool ModuleInUse();

// The lock as a com::ComObject hook: every live object of the module keeps it loaded.
struct LiveObjectLock {
    static void Lock() noexcept { LockModule(); }
    static void Unlock() noexcept { UnlockModule(); }
};

// Set when the module is detached because the process is ending rather than being unloaded.
void SetProcessTerminating();
bool ProcessTerminating();

}  // namespace starwright::plugin
