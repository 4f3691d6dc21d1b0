#pragma once
// The name a screen reader (NVDA, JAWS, Narrator) reads for a native control whose name the
// system's accessibility layer cannot find on its own. Where the system annotates names
// (Windows' IAccPropServices), the control is annotated, and the system's own object tells the
// name with everything else it answers. Elsewhere (Wine 8) the control answers WM_GETOBJECT for
// its client area and its window with the system's own object for each, wrapped to tell the name,
// and disconnects the wrappers as it is destroyed.

#include <string_view>

#include <windows.h>

namespace starwright {

// Subclasses `control` for as long as it lives, and annotates it where the system can (COM must
// be initialised on the thread for that). A control that cannot be subclassed (the system is
// out of memory) keeps working unnamed.
void NameForAssistiveTools(HWND control, std::wstring_view name);

// SendMessageW straight to the control's own procedure, past the naming, for loops over
// thousands of list entries: under Wine one more window procedure adds about a third of a
// microsecond to a list message that itself costs about two thirds, which moving 32,767 names
// between the lists shows.
LRESULT SendPastName(HWND control, UINT message, WPARAM wParam, LPARAM lParam);

// Whether an accessible object handed out for a named control is still alive: while its control
// lives, or while a client in the control's apartment holds it after that (a client elsewhere
// lost it with the disconnection). Its code is this module's, which must stay loaded until then.
bool AccessibleObjectsInUse();

}  // namespace starwright
