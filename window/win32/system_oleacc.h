#pragma once
// Windows' accessibility layer (oleacc.dll), taken from the system folder at run time. The module
// imports only KnownDLLs, which the loader takes from the system folder alone: a DLL of any other
// name it looks for first beside the host and beside the plug-in, so that a copy planted in the
// folder the plug-in was registered from would run inside an elevated regsvr32, and later inside
// the host. The process's own DLL search settings are the host's and stay as they are.

#include <windows.h>

#include <oleacc.h>

namespace starwright {

struct OleaccFunctions {
    decltype(&::CreateStdAccessibleObject) createStdAccessibleObject = nullptr;
    decltype(&::LresultFromObject) lresultFromObject = nullptr;
    decltype(&::ObjectFromLresult) objectFromLresult = nullptr;
};

// Fills `functions`, loading oleacc.dll from the system folder the first time; false when it
// cannot be loaded (the functions are then left empty).
bool SystemOleacc(OleaccFunctions& functions) noexcept;

// Lets oleacc.dll go; it is loaded again when next needed. For DllCanUnloadNow, once nothing of
// the module is in use: no window, and no object of the system's held for a screen reader.
// Never under the loader lock, where freeing a library may run its detach out of order.
void ReleaseSystemOleacc() noexcept;

}  // namespace starwright
