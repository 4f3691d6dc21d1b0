#pragma once
// The calling thread's tool window: one frmMain object per thread (per apartment), created by
// the first DoModal there and kept while the module stays loaded and the thread lives, so the
// window's state (its camera, the cool-down counters) carries over from one showing to the
// next. Once the window holds the host's camera it keeps the module loaded, until the thread's
// apartment ends (its last CoUninitialize): then the window and its camera are released on that
// thread.

namespace starwright::plugin {

// Creates the thread's frmMain on first use, then loads it afresh and shows it modally;
// returns once the window has closed. Failures to create, load or show throw.
void ShowToolWindow();

// At DLL_THREAD_DETACH, on the ending thread: frees its window, which no one can show again.
// A window that holds the host's camera stays (see above), as does one still showing.
void ReleaseEndedThreadWindow() noexcept;

}  // namespace starwright::plugin
