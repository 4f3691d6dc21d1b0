// The module's entry points. Each export is an exception barrier: no C++ exception may reach
// the host or regsvr32.

#include <windows.h>

#include <olectl.h>

#include <new>

#include "plugin/class_factory.h"
#include "plugin/module.h"
#include "plugin/registration.h"
#include "plugin/window_slot.h"
#include "window/win32/accessible_name.h"
#include "window/win32/system_oleacc.h"

using namespace starwright::plugin;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    // Under the loader lock: record facts, and free what an ending thread leaves behind.
    if (reason == DLL_PROCESS_ATTACH) SetModuleHandle(instance);
    if (reason == DLL_THREAD_DETACH) ReleaseEndedThreadWindow();
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr) SetProcessTerminating();
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    try {
        return GetClassObject(clsid, riid, object);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// Screen readers hold accessible objects of the window's controls, whose code is ours, as long
// as they like; the module's own lock does not count them. Once nothing is in use, what the
// window loaded for them goes before the module does: here, not at detach, under the loader lock.
STDAPI DllCanUnloadNow() {
    if (ModuleInUse() || starwright::AccessibleObjectsInUse()) return S_FALSE;
    starwright::ReleaseSystemOleacc();
    return S_OK;
}

STDAPI DllRegisterServer() {
    try {
        return RegisterServer();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

STDAPI DllUnregisterServer() {
    try {
        return UnregisterServer();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}
