#pragma once
// The name a screen reader (NVDA, JAWS, Narrator) reads for a native control whose name the
// system's accessibility layer cannot find on its own: the control answers WM_GETOBJECT for
// its client area with the system's own accessible object for it, wrapped to tell that name.

#include <string_view>

#include <windows.h>

namespace starwright {

// Subclasses `control` for as long as it lives. A control that cannot be subclassed (the
// system is out of memory) keeps working unnamed.
void NameForAssistiveTools(HWND control, std::wstring_view name);

// SendMessageW straight to the control's own procedure, past the naming, for loops over
// thousands of list entries: under Wine one more window procedure adds about a third of a
// microsecond to a list message that itself costs about two thirds, which moving 32,767 names
// between the lists shows.
LRESULT SendPastName(HWND control, UINT message, WPARAM wParam, LPARAM lParam);

// Whether a client (a screen reader, usually in another process) still holds an accessible
// object handed out for a named control: its code is this module's, which must stay loaded
// until the last one is released.
bool AccessibleObjectsInUse();

}  // namespace starwright
