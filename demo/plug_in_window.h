#pragma once
// The plug-in's tool window as a host sees it: a top-level window of the host's thread with
// the plug-in's caption, and controls found by their class and caption as the window reports
// them; an input field is the control to the right of its label on the same row. Used by the
// unattended tour to drive the window as a user would.

#include <windows.h>

#include <string>

#include "plugin/tool_window.h"

namespace starwright::demo {

class PlugInWindow {
public:
    // The plug-in's visible tool window on this thread, or nullptr.
    static HWND Find();
    // A message box of the plug-in (titled with its caption) up on this thread, or nullptr.
    static HWND FindMessage();
    // The text of the message box; answers it with OK.
    static std::wstring AnswerMessage(HWND box);

    explicit PlugInWindow(HWND window) : window_(window) {}
    HWND Handle() const { return window_; }

    // A visible control of the class whose caption, without its access-key "&", is `caption`.
    // Throws when there is none.
    HWND Control(const wchar_t* className, const wchar_t* caption) const;
    // The nearest visible control of the class to the right of the visible label, on its row.
    HWND RightOf(const wchar_t* label, const wchar_t* className) const;

    // A click on the visible button (push, check or option) with this caption, handled before
    // it returns; or, posted, once the caller's message loop runs, for a click whose handler
    // may wait in a message box.
    void Click(const wchar_t* caption) const;
    void PostClick(const wchar_t* caption) const;
    // Types into the edit field labelled `label`.
    void Type(const wchar_t* label, const std::wstring& text) const;
    // The text shown right of a label ("CurrentTemperature" gives the temperature).
    std::wstring ValueOf(const wchar_t* label) const;
    // One second of the cool-down.
    void Tick() const { SendMessageW(window_, WM_TIMER, plugin::kCoolDownTimerId, 0); }
    // Stops the window's own once-a-second tick, so that a fast-forwarded run counts only the
    // ticks sent to it.
    void StopOwnTicks() const { KillTimer(window_, plugin::kCoolDownTimerId); }

private:
    HWND window_;
};

std::wstring WindowTextOf(HWND window);

}  // namespace starwright::demo
