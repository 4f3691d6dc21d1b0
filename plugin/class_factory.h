#pragma once
// The class factory of PlugIn, the module's only creatable class.

#include <windows.h>

#include <ole2.h>

namespace starwright::plugin {

// DllGetClassObject's work: the factory for the PlugIn CLSID, CLASS_E_CLASSNOTAVAILABLE for
// any other.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);

}  // namespace starwright::plugin
