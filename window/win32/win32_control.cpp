#include <stdexcept>
#include <string>

#include "base/failure.h"
#include "window/win32/accessible_name.h"
#include "window/win32/wide_text.h"
#include "window/win32/win32_toolkit.h"
#include "window/win32/win32_window.h"

namespace starwright {

namespace {

constexpr int32_t kErrOutOfMemory = 7;
constexpr int32_t kErrInvalidPropertyValue = 380;

Failure InvalidPropertyValue() { return Failure(kErrInvalidPropertyValue, "Invalid property value"); }

}  // namespace

HWND Win32Control::Live() {
    window_.RequireOpen(d_.name);
    return hwnd_;
}

std::string Win32Control::GetCaption() {
    HWND hwnd = Live();
    return hwnd ? WindowText(hwnd) : std::string();
}

void Win32Control::SetCaption(const std::string& caption) {
    HWND hwnd = Live();
    if (!hwnd) return;
    SetWindowTextW(hwnd, ToWide(caption).c_str());
    TextChanged();
}

void Win32Control::KeepShapedToText() {
    shapedToText_ = true;
    ShapeToText();
}

void Win32Control::TextChanged() {
    if (shapedToText_) ShapeToText();
}

// Handy Start's message line runs over the last lines of the tool's help text, and is stacked
// above it: with its whole rectangle it would hide that help behind its background even while it
// says no more than "None". So the label's window is cut to the rectangle its text takes; the rest
// of the help shows through. What the old shape covered and the new one does not is drawn anew
// beneath, so a shorter text leaves no letters of the longer one behind. Only the picture is cut:
// the text, which a screen reader reads, is whole.
void Win32Control::ShapeToText() {
    RECT client;
    if (!GetClientRect(hwnd_, &client)) return;
    RECT text{};
    const std::wstring caption = ToWide(WindowText(hwnd_));
    if (!caption.empty()) {
        HDC dc = GetDC(hwnd_);
        if (!dc) return;
        HGDIOBJ font = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
        text = client;
        const UINT layout = d_.wraps ? DT_WORDBREAK : DT_SINGLELINE;
        DrawTextW(dc, caption.c_str(), -1, &text, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | layout);
        SelectObject(dc, font);
        ReleaseDC(hwnd_, dc);
        if (!IntersectRect(&text, &text, &client)) SetRectEmpty(&text);
    }
    RECT before = client;
    if (HRGN old = CreateRectRgn(0, 0, 0, 0)) {
        if (GetWindowRgn(hwnd_, old) != ERROR) GetRgnBox(old, &before);
        DeleteObject(old);
    }
    HRGN shape = CreateRectRgnIndirect(&text);
    if (!shape) return;
    // The system owns the region once it is the window's.
    if (!SetWindowRgn(hwnd_, shape, TRUE)) {
        DeleteObject(shape);
        return;
    }
    HWND parent = GetParent(hwnd_);
    MapWindowPoints(hwnd_, parent, reinterpret_cast<POINT*>(&before), 2);
    RedrawWindow(parent, &before, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

bool Win32Control::GetVisible() {
    HWND hwnd = Live();
    // The control's own setting; a control in a hidden frame is still "visible".
    return hwnd && (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32Control::SetVisible(bool visible) {
    HWND hwnd = Live();
    if (!hwnd) return;
    // Choosing a tool hides frames that are hidden already: that changes nothing, so it costs
    // nothing either.
    if (((GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0) == visible) return;
    HWND focus = visible ? nullptr : GetFocus();
    const bool hadFocus = focus && (focus == hwnd || IsChild(hwnd, focus));
    ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE);
    // The focus must not stay in a hidden control, where keys would go nowhere.
    if (hadFocus) window_.RestoreFocus();
}

bool Win32Control::GetEnabled() {
    HWND hwnd = Live();
    if (d_.type == ControlType::Timer) return timerRunning_;
    return IsWindowEnabled(hwnd) != FALSE;
}

void Win32Control::SetEnabled(bool enabled) {
    HWND hwnd = Live();
    if (d_.type != ControlType::Timer) {
        EnableWindow(hwnd, enabled ? TRUE : FALSE);
        return;
    }
    HWND form = window_.FormHwnd();
    if (!enabled) {
        KillTimer(form, kTimer1Id);
        timerRunning_ = false;
        return;
    }
    // Enabling a running timer starts its interval afresh, as setting it again does natively.
    if (!SetTimer(form, kTimer1Id, static_cast<UINT>(d_.interval), nullptr))
        throw Failure(kErrOutOfMemory, "No timer is available");
    timerRunning_ = true;
}

std::string Win32Control::EntryText(int position) {
    const UINT lengthMessage = IsCombo() ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    const UINT textMessage = IsCombo() ? CB_GETLBTEXT : LB_GETTEXT;
    const LRESULT length = SendMessageW(hwnd_, lengthMessage, static_cast<WPARAM>(position), 0);
    if (length < 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(hwnd_, textMessage, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return ToUtf8(text);
}

std::string Win32Control::GetText() {
    HWND hwnd = Live();
    if (!hwnd) return {};
    if (IsList() || IsCombo()) {
        const int16_t index = GetListIndex();
        return index >= 0 ? EntryText(index) : std::string();
    }
    return WindowText(hwnd);
}

void Win32Control::SetText(const std::string& text) {
    HWND hwnd = Live();
    if (!hwnd) return;
    if (IsList() || IsCombo()) {
        // A list's text is its selected entry: setting it selects the entry of that text.
        const std::wstring wide = ToWide(text);
        const LRESULT found = SendMessageW(hwnd, IsCombo() ? CB_FINDSTRINGEXACT : LB_FINDSTRINGEXACT,
                                           static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(wide.c_str()));
        SendMessageW(hwnd, IsCombo() ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(found < 0 ? -1 : found), 0);
        return;
    }
    SetWindowTextW(hwnd, ToWide(text).c_str());
    TextChanged();
}

int Win32Control::GetValue() {
    HWND hwnd = Live();
    if (d_.type != ControlType::CheckBox && d_.type != ControlType::OptionButton) return 0;
    const LRESULT state = SendMessageW(hwnd, BM_GETCHECK, 0, 0);
    if (state == BST_CHECKED) return 1;
    return state == BST_INDETERMINATE ? 2 : 0;
}

int16_t Win32Control::GetListCount() {
    HWND hwnd = Live();
    if (!IsList() && !IsCombo()) return 0;
    const LRESULT count = SendMessageW(hwnd, IsCombo() ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    return count < 0 ? 0 : NarrowToInt16(count);
}

std::string Win32Control::GetListItem(int16_t position) {
    Live();
    if (position < 0 || position >= GetListCount()) return {};
    return EntryText(position);
}

int16_t Win32Control::GetListIndex() {
    HWND hwnd = Live();
    if (!IsList() && !IsCombo()) return -1;
    const LRESULT index = SendMessageW(hwnd, IsCombo() ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
    return index < 0 ? int16_t{-1} : NarrowToInt16(index);
}

void Win32Control::SetListIndex(int16_t position) {
    HWND hwnd = Live();
    if (!IsList() && !IsCombo()) return;
    if (position < -1 || position >= GetListCount()) throw InvalidPropertyValue();
    SendMessageW(hwnd, IsCombo() ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

void Win32Control::AddItem(const std::string& text) {
    HWND hwnd = Live();
    if (!IsList() && !IsCombo()) return;
    ToWide(text, wide_);
    // Listing the host's documents adds them one by one, up to 32,767.
    const LRESULT added =
        SendPastName(hwnd, IsCombo() ? CB_ADDSTRING : LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide_.c_str()));
    if (added < 0) throw Failure(kErrOutOfMemory, "Out of memory");
}

void Win32Control::RemoveItem(int16_t position) {
    HWND hwnd = Live();
    if (!IsList() && !IsCombo()) return;
    if (position < 0 || position >= GetListCount()) throw InvalidArgumentFailure();
    SendMessageW(hwnd, IsCombo() ? CB_DELETESTRING : LB_DELETESTRING, static_cast<WPARAM>(position), 0);
}

void Win32Control::Clear() {
    HWND hwnd = Live();
    if (IsList()) SendMessageW(hwnd, LB_RESETCONTENT, 0, 0);
    if (IsCombo()) SendMessageW(hwnd, CB_RESETCONTENT, 0, 0);
}

void Win32Control::AddItemsOf(Control& source, int16_t count) {
    HWND hwnd = Live();
    auto& from = static_cast<Win32Control&>(source);
    HWND fromHwnd = from.Live();
    if (!IsList() || !from.IsList()) return;
    std::wstring text;
    for (int16_t position = 0; position < count; ++position) {
        const LRESULT length = SendPastName(fromHwnd, LB_GETTEXTLEN, static_cast<WPARAM>(position), 0);
        text.assign(length > 0 ? static_cast<size_t>(length) + 1 : 1, L'\0');
        const LRESULT copied = length > 0 ? SendPastName(fromHwnd, LB_GETTEXT, static_cast<WPARAM>(position),
                                                         reinterpret_cast<LPARAM>(text.data()))
                                          : 0;
        text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
        if (SendPastName(hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())) < 0)
            throw Failure(kErrOutOfMemory, "Out of memory");
    }
}

void Win32Control::SuspendRedraw() {
    HWND hwnd = Live();
    if (IsList()) SendMessageW(hwnd, WM_SETREDRAW, FALSE, 0);
}

void Win32Control::ResumeRedraw() noexcept {
    if (window_.IsClosed() || !IsList()) return;
    SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    // Turning drawing back on draws nothing by itself: the entries and the scroll bar, which sits
    // in the frame, are drawn anew with the list's next paint.
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
}

}  // namespace starwright
