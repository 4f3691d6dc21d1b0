#pragma once
// The creatable class PlugIn: Name for the host's menu, DoModal to show the tool window.
// IDispatch is answered from the class's own list of its two members, so that it needs no
// type library (DoModal's parameter type lives in the host's, which may not load); GetTypeInfo
// hands out the type library embedded in this module.

#include <windows.h>

#include <ole2.h>

namespace starwright::plugin {

// Creates a PlugIn object and returns the requested interface of it.
HRESULT CreatePlugIn(REFIID riid, void** object);

}  // namespace starwright::plugin
