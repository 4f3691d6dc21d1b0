#pragma once
// _PlugIn's type information, read once from this module's own file and kept for as long as the
// module stays loaded. A host may keep the module loaded while a newer version is installed over
// it (setup renames the loaded file aside and writes the new one under its name); every object
// it creates from this module must go on describing this module's code, which the file now at
// that path may not hold.

#include <windows.h>

#include <oaidl.h>

namespace starwright::plugin {

// Reads the type information if it has not been read yet. COM asks for the class object right
// after loading the module, so the class object reads it then, before anything can replace the
// file; should that fail, GetTypeInfo tries again and reports the failure.
HRESULT LoadPlugInTypeInfo() noexcept;

// The dispatch half of the dual interface, which clients get to read, with a reference for the
// caller. Both answer a failure as an HRESULT: GetTypeInfo calls them directly.
HRESULT GetPlugInTypeInfo(ITypeInfo** dispatchHalf) noexcept;

}  // namespace starwright::plugin
