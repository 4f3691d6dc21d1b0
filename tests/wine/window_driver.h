#pragma once
// Drives the real frmMain window of this thread as a user would: finds it and its controls,
// clicks, types, picks list entries, delivers timer ticks, and answers message boxes. A
// Script runs test steps from a thread timer, so a test can call something that blocks in the
// window's modal loop (or in a message box) and act from inside it.

#include <windows.h>

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "window/form_description.h"
#include "window/win32/wide_text.h"
#include "window/win32/win32_toolkit.h"

namespace starwright::driver {

namespace detail {

inline BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
    try {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

// The top-level windows of this thread.
inline std::vector<HWND> ThreadWindows() {
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), &CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Every window inside `parent`, at any depth.
inline std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> windows;
    EnumChildWindows(parent, &CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

template <typename Predicate>
HWND FindThreadWindow(Predicate predicate) {
    for (HWND hwnd : ThreadWindows())
        if (predicate(hwnd)) return hwnd;
    return nullptr;
}

inline std::wstring ClassName(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

}  // namespace detail

// The frmMain window of this thread (loaded, shown or not), or nullptr.
inline HWND FindForm() {
    return detail::FindThreadWindow([](HWND hwnd) {
        return detail::ClassName(hwnd) == kWin32FormClass && WindowText(hwnd) == FrmMainDescription().caption;
    });
}

// A control of the form by name and array index, searched through the frames; nullptr when
// the form or the control is gone.
inline HWND FindControl(std::string_view name, int16_t index = -1) {
    HWND form = FindForm();
    const int id = FrmMainDescription().ControlId(name, index);
    if (!form || !id) return nullptr;
    for (HWND hwnd : detail::Descendants(form))
        if (GetDlgCtrlID(hwnd) == id) return hwnd;
    return nullptr;
}

inline HWND Control(std::string_view name, int16_t index = -1) {
    HWND hwnd = FindControl(name, index);
    if (!hwnd) throw std::runtime_error("no window for control " + std::string(name));
    return hwnd;
}

// Really on screen: the control and every container up to the form are visible.
inline bool IsShown(std::string_view name, int16_t index = -1) { return IsWindowVisible(Control(name, index)) != FALSE; }
// The control's own visible setting, whatever its frame does.
inline bool IsVisibleSet(std::string_view name, int16_t index = -1) {
    return (GetWindowLongW(Control(name, index), GWL_STYLE) & WS_VISIBLE) != 0;
}
inline bool IsEnabled(std::string_view name, int16_t index = -1) { return IsWindowEnabled(Control(name, index)) != FALSE; }
inline std::string Text(std::string_view name, int16_t index = -1) { return WindowText(Control(name, index)); }
inline bool IsChecked(std::string_view name, int16_t index = -1) {
    return SendMessageW(Control(name, index), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// A mouse click: nothing happens on a control the user cannot reach. Returns whether it clicked.
inline bool Click(std::string_view name, int16_t index = -1) {
    HWND hwnd = Control(name, index);
    if (!IsWindowVisible(hwnd) || !IsWindowEnabled(hwnd)) return false;
    SendMessageW(hwnd, BM_CLICK, 0, 0);
    return true;
}

inline void Type(std::string_view name, const std::string& text) {
    SendMessageW(Control(name), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(ToWide(text).c_str()));
}

inline std::vector<std::string> ListEntries(std::string_view name) {
    HWND list = Control(name);
    const bool combo = detail::ClassName(list) == L"ComboBox";
    std::vector<std::string> entries;
    const LRESULT count = SendMessageW(list, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(list, combo ? CB_GETLBTEXT : LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(length));
        entries.push_back(ToUtf8(text));
    }
    return entries;
}

inline int ListIndex(std::string_view name) {
    HWND list = Control(name);
    const bool combo = detail::ClassName(list) == L"ComboBox";
    return static_cast<int>(SendMessageW(list, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0));
}

// Selects an entry of a list box as a click on it would, telling the list's container.
inline void SelectEntry(std::string_view name, int position) {
    HWND list = Control(name);
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(position), 0);
    SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

// Selects the entry and double-clicks it.
inline void DoubleClickEntry(std::string_view name, int position) {
    SelectEntry(name, position);
    HWND list = Control(name);
    SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
}

inline void SelectComboEntry(std::string_view name, int position) {
    HWND combo = Control(name);
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
    SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

// One tick of Timer1, as the system timer delivers it.
inline void Tick() {
    HWND form = FindForm();
    if (!form) throw std::runtime_error("no form to tick");
    SendMessageW(form, WM_TIMER, kTimer1Id, 0);
}

// The close box of the window frame.
inline void PressCloseBox() {
    HWND form = FindForm();
    if (!form) throw std::runtime_error("no form to close");
    SendMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// An open message box of this thread, or nullptr.
inline HWND FindMessageBox() {
    return detail::FindThreadWindow(
        [](HWND hwnd) { return detail::ClassName(hwnd) == L"#32770" && IsWindowVisible(hwnd); });
}

inline std::string MessageBoxTitle(HWND box) { return WindowText(box); }

// The message of a message box: its text control (the one static that is not the icon).
inline std::string MessageBoxText(HWND box) {
    std::string text;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (detail::ClassName(child) != L"Static") continue;
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
        const std::string candidate = WindowText(child);
        if (!candidate.empty()) text = candidate;
    }
    return text;
}

// Number of buttons of a message box, to tell an OK-only box.
inline int MessageBoxButtons(HWND box) {
    int buttons = 0;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (detail::ClassName(child) == L"Button" && IsWindowVisible(child)) ++buttons;
    return buttons;
}

inline void PressOk(HWND box) {
    HWND ok = GetDlgItem(box, IDOK);
    if (ok) SendMessageW(ok, BM_CLICK, 0, 0);
    else SendMessageW(box, WM_COMMAND, IDOK, 0);
}

// Steps run one per tick of a 10 ms thread timer, each from whatever message loop is running
// then: the form's modal loop, a message box's, or a handler's pending-events pump. A step
// that blocks (a click that opens a message box) lets the following steps run inside it.
// A step returning false is tried again on the next tick (waiting for a window to appear),
// up to a limit. When the steps are used up and the form is still open after the grace
// ticks, the script closes it, so a test never hangs on a window that did not close.
class Script {
public:
    using Step = std::function<bool()>;

    Script() = default;
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;
    ~Script() { Stop(); }

    Script& Then(std::function<void()> step) {
        steps_.push_back([step = std::move(step)] {
            step();
            return true;
        });
        return *this;
    }
    // A step retried until it returns true.
    Script& Until(Step step) {
        steps_.push_back(std::move(step));
        return *this;
    }

    void Start() {
        current_ = this;
        timer_ = SetTimer(nullptr, 0, 10, &Script::OnTimer);
        if (!timer_) throw std::runtime_error("SetTimer failed");
    }
    void Stop() {
        if (timer_) KillTimer(nullptr, timer_);
        timer_ = 0;
        if (current_ == this) current_ = nullptr;
    }
    bool Finished() const { return steps_.empty() && running_ == 0; }
    // Problems seen while running steps: exceptions thrown by a step, retries used up, a
    // form the script had to close.
    std::vector<std::string> problems;
    int retryLimit = 300;
    int graceTicks = 50;

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
        try {
            if (current_) current_->Next();
        } catch (...) {
        }
    }

    void Next() {
        if (steps_.empty()) {
            if (running_ == 0 && FindForm() && --graceTicks < 0) {
                problems.push_back("the form was still open after the script ended; closed by the script");
                DestroyWindow(FindForm());
            }
            return;
        }
        Step step = std::move(steps_.front());
        steps_.pop_front();
        ++running_;
        bool done = true;
        try {
            done = step();
        } catch (const std::exception& e) {
            problems.push_back(std::string("step failed: ") + e.what());
        } catch (...) {
            problems.push_back("step failed");
        }
        --running_;
        if (!done) {
            if (++retries_ > retryLimit) {
                problems.push_back("a waiting step never succeeded");
                return;
            }
            steps_.push_front(std::move(step));
        } else {
            retries_ = 0;
        }
    }

    static inline Script* current_ = nullptr;
    std::deque<Step> steps_;
    UINT_PTR timer_ = 0;
    int running_ = 0;
    int retries_ = 0;
};

}  // namespace starwright::driver
