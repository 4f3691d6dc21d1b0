#include "demo/plug_in_window.h"

#include <stdexcept>
#include <vector>

#include "platform/text_win.h"

namespace starwright::demo {

namespace {

constexpr wchar_t kPlugInCaption[] = L"Starwright";

BOOL CALLBACK Collect(HWND window, LPARAM list) {
    try {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

bool SameText(const std::wstring& a, const wchar_t* b) {
    return CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

std::wstring WithoutAccessKey(std::wstring text) {
    for (size_t at = text.find(L'&'); at != std::wstring::npos; at = text.find(L'&', at + 1)) text.erase(at, 1);
    return text;
}

RECT ScreenRect(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r;
}

std::string Narrow(const std::wstring& text) { return ToUtf8(text); }

}  // namespace

std::wstring WindowTextOf(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

namespace {

// A visible top-level window of this thread with the plug-in's caption; a dialog or not.
HWND ThreadWindow(bool dialog) {
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), Collect, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows)
        if (IsWindowVisible(window) && WindowTextOf(window) == kPlugInCaption && (ClassOf(window) == L"#32770") == dialog)
            return window;
    return nullptr;
}

}  // namespace

HWND PlugInWindow::Find() { return ThreadWindow(false); }

HWND PlugInWindow::FindMessage() { return ThreadWindow(true); }

std::wstring PlugInWindow::AnswerMessage(HWND box) {
    // A message box shows its text in a static control with the id 0xFFFF.
    std::wstring text = WindowTextOf(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return text;
}

HWND PlugInWindow::Control(const wchar_t* className, const wchar_t* caption) const {
    std::vector<HWND> children;
    EnumChildWindows(window_, Collect, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children)
        if (IsWindowVisible(child) && SameText(ClassOf(child), className) &&
            WithoutAccessKey(WindowTextOf(child)) == caption)
            return child;
    throw std::runtime_error("the tool window shows no " + Narrow(className) + " \"" + Narrow(caption) + "\"");
}

HWND PlugInWindow::RightOf(const wchar_t* label, const wchar_t* className) const {
    const RECT anchor = ScreenRect(Control(L"Static", label));
    const LONG row = (anchor.top + anchor.bottom) / 2;
    std::vector<HWND> children;
    EnumChildWindows(window_, Collect, reinterpret_cast<LPARAM>(&children));
    HWND nearest = nullptr;
    LONG nearestLeft = 0;
    for (HWND child : children) {
        if (!IsWindowVisible(child) || !SameText(ClassOf(child), className)) continue;
        const RECT r = ScreenRect(child);
        if (r.left < anchor.right - 1 || r.top > row || r.bottom < row) continue;
        if (!nearest || r.left < nearestLeft) {
            nearest = child;
            nearestLeft = r.left;
        }
    }
    if (!nearest) throw std::runtime_error("the tool window shows nothing right of \"" + Narrow(label) + "\"");
    return nearest;
}

void PlugInWindow::Click(const wchar_t* caption) const { SendMessageW(Control(L"Button", caption), BM_CLICK, 0, 0); }

void PlugInWindow::PostClick(const wchar_t* caption) const { PostMessageW(Control(L"Button", caption), BM_CLICK, 0, 0); }

void PlugInWindow::Type(const wchar_t* label, const std::wstring& text) const {
    SendMessageW(RightOf(label, L"Edit"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring PlugInWindow::ValueOf(const wchar_t* label) const { return WindowTextOf(RightOf(label, L"Static")); }

}  // namespace starwright::demo
