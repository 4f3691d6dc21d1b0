#pragma once
// What DllRegisterServer writes and DllUnregisterServer removes: the type library (which
// also registers _PlugIn for marshalling through it), the PlugIn class and its ProgID. Both
// also remove stale per-user copies of these keys from the calling user's own classes.

#include <windows.h>

#include <ole2.h>

namespace starwright::plugin {

HRESULT RegisterServer();
HRESULT UnregisterServer();

}  // namespace starwright::plugin
