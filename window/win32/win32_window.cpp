#include "window/win32/win32_window.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <stdexcept>
#include <string>

#include "base/failure.h"
#include "window/win32/accessible_name.h"
#include "window/win32/wide_text.h"
#include "window/win32/win32_toolkit.h"

namespace starwright {

namespace {

// Extra bytes of a frame window: its form, then the font it paints its caption with.
constexpr int kFrameFormSlot = 0;
constexpr int kFrameFontSlot = sizeof(LONG_PTR);

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

// Window classes registered by a DLL outlive its unloading unless it removes them, and a
// class left behind would point at code that is gone; so they are registered while a form is
// open. Forms open and close on any thread: the count and the registering that goes with it
// change together under the lock, so that no form is created just as the last one to close
// takes the classes away.
std::mutex formClassesLock;
int openForms = 0;

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

Failure LastErrorFailure(const char* what) {
    const DWORD error = GetLastError();
    return Failure(static_cast<int32_t>(error), std::string(what) + " failed (system error " + std::to_string(error) + ")");
}

void RegisterClasses(HINSTANCE instance) {
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = &Win32Window::FormProc;
    form.hInstance = instance;
    form.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = kWin32FormClass;
    WNDCLASSEXW frame = form;
    frame.lpfnWndProc = &Win32Window::FrameProc;
    frame.cbWndExtra = 2 * sizeof(LONG_PTR);
    frame.lpszClassName = kWin32FrameClass;
    for (const WNDCLASSEXW* wc : {&form, &frame})
        if (!RegisterClassExW(wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            throw LastErrorFailure("Registering the window class");
}

void UnregisterClasses(HINSTANCE instance) {
    UnregisterClassW(kWin32FrameClass, instance);
    UnregisterClassW(kWin32FormClass, instance);
}

void AcquireClasses(HINSTANCE instance) {
    std::lock_guard<std::mutex> lock(formClassesLock);
    if (openForms == 0) RegisterClasses(instance);
    ++openForms;
}

void ReleaseClasses(HINSTANCE instance) {
    std::lock_guard<std::mutex> lock(formClassesLock);
    if (--openForms == 0) UnregisterClasses(instance);
}

// An option group: the option buttons of one name in one container.
bool InOptionGroupOf(const ControlDescription& other, const ControlDescription& option) {
    return &other != &option && option.type == ControlType::OptionButton && other.type == option.type &&
           other.name == option.name && other.container == option.container;
}

// Of an option group the button first in tab order starts the group; every other control is a
// group of its own, so that the arrow keys move within the option group only, and never onto
// it from another control.
bool StartsGroup(const FormDescription& form, const ControlDescription& d) {
    if (d.type != ControlType::OptionButton) return true;
    for (const auto& other : form.controls) {
        // Equal tab indexes go by the table's order, as everywhere else.
        if (InOptionGroupOf(other, d) && (other.tabIndex < d.tabIndex || (other.tabIndex == d.tabIndex && &other < &d)))
            return false;
    }
    return true;
}

struct ClassStyle {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

ClassStyle NativeClassOf(const ControlDescription& d) {
    switch (d.type) {
    case ControlType::Label: {
        // Labels show host error texts too, so "&" is shown as it stands.
        DWORD style = SS_NOPREFIX | (d.wraps ? SS_LEFT : SS_LEFTNOWORDWRAP);
        if (d.whiteBackground) style |= WS_BORDER;
        return {L"STATIC", style, 0};
    }
    case ControlType::TextBox:
        return {L"EDIT", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case ControlType::ListBox:
        return {L"LISTBOX", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, WS_EX_CLIENTEDGE};
    case ControlType::ComboBox:
        return {L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0};
    case ControlType::CheckBox:
        return {L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 0};
    case ControlType::OptionButton:
        return {L"BUTTON", WS_TABSTOP | BS_AUTORADIOBUTTON, 0};
    case ControlType::CommandButton:
        return {L"BUTTON", static_cast<DWORD>(WS_TABSTOP | (d.defaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON)), 0};
    case ControlType::Frame:
        return {kWin32FrameClass, 0, WS_EX_CONTROLPARENT};
    case ControlType::Timer:
        break;
    }
    return {nullptr, 0, 0};
}

// The frame paints itself as a group box: an etched rectangle whose top edge runs through
// the middle of the caption.
void PaintFrame(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc) return;
    HFONT font = reinterpret_cast<HFONT>(GetWindowLongPtrW(hwnd, kFrameFontSlot));
    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    RECT box;
    GetClientRect(hwnd, &box);
    box.top += metrics.tmHeight / 2;
    DrawEdge(dc, &box, EDGE_ETCHED, BF_RECT);
    const std::wstring caption = ToWide(WindowText(hwnd));
    if (!caption.empty()) {
        RECT text{metrics.tmAveCharWidth, 0, 0, 0};
        DrawTextW(dc, caption.c_str(), -1, &text, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
        text.right += metrics.tmAveCharWidth;
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        SetBkMode(dc, OPAQUE);
        DrawTextW(dc, caption.c_str(), -1, &text, DT_SINGLELINE | DT_NOPREFIX | DT_CENTER);
    }
    if (oldFont) SelectObject(dc, oldFont);
    EndPaint(hwnd, &ps);
}

}  // namespace

Win32Window::Win32Window(const FormDescription& form, EventSink& events) : form_(form), events_(events) {}

Win32Window::~Win32Window() {
    RestoreThreadWindows();
    if (hwnd_) DestroyWindow(hwnd_);
    ReleaseResources();
}

// Called once the form window is gone: a closed form keeps nothing of the system's, neither its
// window classes nor its fonts and brush, so that the object may be freed anywhere later.
void Win32Window::ReleaseResources() {
    if (instance_) ReleaseClasses(instance_);
    instance_ = nullptr;
    fonts_.clear();
    whiteBrush_.reset();
}

void Win32Window::Create() {
    HINSTANCE instance = ThisModule();
    AcquireClasses(instance);
    instance_ = instance;

    if (HDC screen = GetDC(nullptr)) {
        dpiX_ = GetDeviceCaps(screen, LOGPIXELSX);
        dpiY_ = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    CreateFonts();
    whiteBrush_.reset(CreateSolidBrush(RGB(255, 255, 255)));
    if (!whiteBrush_) throw LastErrorFailure("Creating a brush");

    RECT frame{0, 0, PixelsX(form_.clientWidth), PixelsY(form_.clientHeight)};
    AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + std::max(0L, (work.right - work.left - width) / 2);
    const int y = work.top + std::max(0L, (work.bottom - work.top - height) / 2);
    // Owned by the window the user is working in, so the form stays in front of the host.
    HWND owner = GetActiveWindow();
    hwnd_ = CreateWindowExW(kFormExStyle, kWin32FormClass, ToWide(form_.caption).c_str(), kFormStyle, x, y, width,
                            height, owner, nullptr, instance_, this);
    if (!hwnd_) throw LastErrorFailure("Creating the window");

    controls_.resize(form_.controls.size());
    // A window's children are stacked in the order they are created, and the dialog manager
    // moves the arrow keys through a group in that order: so each container's controls are
    // created by tab index, except that an option group's buttons follow each other from its
    // first, a frame's controls come right after the frame that parents them, and an input with
    // a label (a text box, a list) comes right after it: the system's accessibility layer names
    // a control by the label stacked just before it, which is what a screen reader reads. Labels
    // take no focus and Tab does not use the stacking (see NextTabStop), so the keyboard is not
    // affected; nor is the picture (see LabelHeight).
    const std::vector<const ControlDescription*> tabOrder = TabOrder();
    std::vector<const ControlDescription*> stackedLabels;
    for (const auto& d : form_.controls)
        if (const ControlDescription* label = StackedLabel(d)) stackedLabels.push_back(label);
    auto contains = [](const std::vector<const ControlDescription*>& list, const ControlDescription* d) {
        return std::find(list.begin(), list.end(), d) != list.end();
    };
    auto byTabIndex = [&](std::string_view container) {
        std::vector<const ControlDescription*> list;
        for (const ControlDescription* d : tabOrder) {
            if (d->container != container || contains(list, d) || contains(stackedLabels, d)) continue;
            if (const ControlDescription* label = StackedLabel(*d)) list.push_back(label);
            list.push_back(d);
            for (const ControlDescription* other : tabOrder)
                if (InOptionGroupOf(*other, *d)) list.push_back(other);
        }
        return list;
    };
    for (const ControlDescription* d : byTabIndex("")) {
        CreateControl(*d);
        if (d->type == ControlType::Frame)
            for (const ControlDescription* child : byTabIndex(d->name)) CreateControl(*child);
    }
    for (const auto& d : form_.controls) {
        if (d.container.empty() || d.type == ControlType::Frame) continue;
        if (!form_.Find(d.container)) throw std::logic_error("control in an unknown frame: " + std::string(d.name));
    }
    ShapeOverlappingLabels();
}

// A label hides what lies beneath it in its container wherever its rectangle stands, text or
// not. Where a label is stacked over a sibling it overlaps, it is kept to its text's shape.
void Win32Window::ShapeOverlappingLabels() {
    for (auto& control : controls_) {
        if (!control || !control->Hwnd()) continue;
        const ControlDescription& d = control->Description();
        // A value label's white box and border are its look, and overlap nothing.
        if (d.type != ControlType::Label || d.whiteBackground) continue;
        RECT mine;
        GetWindowRect(control->Hwnd(), &mine);
        for (HWND below = GetWindow(control->Hwnd(), GW_HWNDNEXT); below; below = GetWindow(below, GW_HWNDNEXT)) {
            RECT theirs, common;
            GetWindowRect(below, &theirs);
            if (IntersectRect(&common, &mine, &theirs)) {
                control->KeepShapedToText();
                break;
            }
        }
    }
}

const ControlDescription* Win32Window::StackedLabel(const ControlDescription& d) const {
    const ControlDescription* label = form_.LabelOf(d);
    if (!label && !d.label.empty()) throw std::logic_error("input with an unknown label: " + std::string(d.name));
    // Stacking orders the children of one container only.
    if (label && (label->type != ControlType::Label || label->container != d.container))
        throw std::logic_error("input labelled by no label beside it: " + std::string(d.name));
    return label;
}

// A label stacked before the input it names is drawn over it where the two overlap ("Log" runs
// a pixel row into the top of its list), and the input drew those rows while it was stacked
// first. So a label above its input ends where the input begins: the rows it gives up are the
// input's, as they were; its text, drawn from its top, is where it was.
int Win32Window::LabelHeight(const ControlDescription& label) const {
    const int top = PixelsY(label.top);
    const int height = PixelsY(label.height);
    for (const auto& input : form_.controls) {
        if (form_.LabelOf(input) != &label) continue;
        const int inputTop = PixelsY(input.top);
        const int left = PixelsX(label.left), inputLeft = PixelsX(input.left);
        const bool acrossColumns = left < inputLeft + PixelsX(input.width) && inputLeft < left + PixelsX(label.width);
        if (acrossColumns && top < inputTop && inputTop < top + height) return inputTop - top;
    }
    return height;
}

void Win32Window::CreateFonts() {
    for (FontStyle style : {FontStyle::Default, FontStyle::Bold, FontStyle::Help}) {
        const FontDescription& f = FontOf(style);
        // Point sizes like 8.25 are kept to the hundredth so the pixel height rounds once.
        const int height = -MulDiv(static_cast<int>(std::lround(f.points * 100)), dpiY_, 7200);
        HFONT font = CreateFontW(height, 0, 0, 0, f.weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, ToWide(f.face).c_str());
        if (!font) throw LastErrorFailure("Creating a font");
        fonts_.emplace_back(font);
    }
}

HWND Win32Window::ContainerHwnd(std::string_view container) const {
    if (container.empty()) return hwnd_;
    for (const auto& control : controls_)
        if (control && control->Description().type == ControlType::Frame && control->Description().name == container)
            return control->Hwnd();
    throw std::logic_error("frame not created before its controls: " + std::string(container));
}

void Win32Window::CreateControl(const ControlDescription& d) {
    const size_t slot = static_cast<size_t>(&d - form_.controls.data());
    if (d.type == ControlType::Timer) {
        controls_[slot] = std::make_unique<Win32Control>(*this, d, nullptr);
        timer_ = controls_[slot].get();
        return;
    }
    const ClassStyle native = NativeClassOf(d);
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | native.style;
    if (StartsGroup(form_, d)) style |= WS_GROUP;
    if (d.visible) style |= WS_VISIBLE;
    int height = d.type == ControlType::Label ? LabelHeight(d) : PixelsY(d.height);
    // A drop-down list's height includes its open list.
    if (d.type == ControlType::ComboBox) height += PixelsY(d.height) * static_cast<int>(d.items.size() + 2);
    const std::wstring caption = d.type == ControlType::ComboBox || d.type == ControlType::ListBox
                                     ? std::wstring()
                                     : ToWide(d.caption);
    HWND hwnd = CreateWindowExW(native.exStyle, native.className, caption.c_str(), style, PixelsX(d.left),
                                PixelsY(d.top), PixelsX(d.width), height, ContainerHwnd(d.container),
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(form_.ControlId(d))), instance_, this);
    if (!hwnd) throw LastErrorFailure("Creating a control");
    controls_[slot] = std::make_unique<Win32Control>(*this, d, hwnd);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_[static_cast<size_t>(d.font)].get()), FALSE);

    if (d.type == ControlType::ComboBox)
        for (auto item : d.items) SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(item).c_str()));
    if (d.type == ControlType::OptionButton && d.selected) {
        SendMessageW(hwnd, BM_SETCHECK, BST_CHECKED, 0);
        selectedOption_ = &d;
    }
    if (d.defaultButton) defaultButton_ = controls_[slot].get();
    // Lists and the drop-down list tell their names themselves. The label stacked before a list
    // is not enough: Wine's accessibility layer takes no name from it for a list, the two lists
    // of "Loaded Images" are told apart by their side only, and the drop-down list has no label.
    if (d.type == ControlType::ListBox || d.type == ControlType::ComboBox) {
        const std::string_view name = form_.AccessibleName(d);
        if (!name.empty()) NameForAssistiveTools(hwnd, ToWide(name));
    }
}

Control& Win32Window::Find(std::string_view name, int16_t index) {
    RequireOpen(name);
    for (auto& control : controls_)
        if (control && control->Description().name == name && control->Description().index == index) return *control;
    throw std::logic_error("no such control: " + std::string(name));
}

void Win32Window::RequireOpen(std::string_view name) const {
    if (closed_) throw std::logic_error("control used after its window closed: " + std::string(name));
}

Win32Control* Win32Window::ControlOf(const ControlDescription& d) {
    return controls_[static_cast<size_t>(&d - form_.controls.data())].get();
}

Win32Control* Win32Window::ControlById(int id) {
    for (auto& control : controls_)
        if (control && control->Hwnd() && form_.ControlId(control->Description()) == id) return control.get();
    return nullptr;
}

Win32Control* Win32Window::ControlByHwnd(HWND hwnd) {
    if (!hwnd) return nullptr;
    for (auto& control : controls_)
        if (control && control->Hwnd() == hwnd) return control.get();
    return nullptr;
}

void Win32Window::Raise(const ControlDescription& control, ControlEvent event) {
    events_.OnControlEvent(control, event);
}

void Win32Window::OnCommand(WPARAM wParam) {
    Win32Control* control = ControlById(LOWORD(wParam));
    if (!control) return;  // IDOK / IDCANCEL from the dialog manager's Enter and Esc
    const ControlDescription& d = control->Description();
    const WORD code = HIWORD(wParam);
    HWND hwnd = control->Hwnd();
    // A click queued or sent for a control the user cannot reach (disabled, or in a hidden
    // frame) is not a click; the Enter key would otherwise press a hidden default button.
    const bool reachable = IsWindowEnabled(hwnd) && IsWindowVisible(hwnd);
    switch (d.type) {
    case ControlType::CommandButton:
    case ControlType::CheckBox:
        if (code == BN_CLICKED && reachable) Raise(d, ControlEvent::Click);
        break;
    case ControlType::OptionButton:
        if (code == BN_CLICKED && reachable) OnOptionClicked(*control);
        break;
    case ControlType::ListBox:
        if (code == LBN_DBLCLK && reachable) Raise(d, ControlEvent::DblClick);
        break;
    default:
        break;
    }
}

// An option click is an event only when it changes the selection; clicking the chosen tool
// again would otherwise list the host's documents a second time.
void Win32Window::OnOptionClicked(Win32Control& option) {
    const ControlDescription& d = option.Description();
    if (SendMessageW(option.Hwnd(), BM_GETCHECK, 0, 0) != BST_CHECKED) {
        // A plain BN_CLICKED (not from the button itself) selects as a click would.
        SendMessageW(option.Hwnd(), BM_SETCHECK, BST_CHECKED, 0);
    }
    for (auto& other : controls_)
        if (other.get() != &option && other && other->Description().type == ControlType::OptionButton &&
            other->Description().name == d.name)
            SendMessageW(other->Hwnd(), BM_SETCHECK, BST_UNCHECKED, 0);
    if (selectedOption_ == &d) return;
    selectedOption_ = &d;
    Raise(d, ControlEvent::Click);
}

bool Win32Window::HandleChildMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_COMMAND:
        if (!closed_) OnCommand(wParam);
        result = 0;
        return true;
    case WM_CTLCOLORSTATIC: {
        Win32Control* control = ControlByHwnd(reinterpret_cast<HWND>(lParam));
        if (!control || !control->Description().whiteBackground) return false;
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, RGB(255, 255, 255));
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        result = reinterpret_cast<LRESULT>(whiteBrush_.get());
        return true;
    }
    default:
        return false;
    }
}

LRESULT Win32Window::HandleFormMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleChildMessage(message, wParam, lParam, result)) return result;
    switch (message) {
    case WM_TIMER:
        if (wParam == kTimer1Id && timer_ && timer_->TimerRunning() && !closed_)
            Raise(timer_->Description(), ControlEvent::Timer);
        return 0;
    case DM_GETDEFID: {
        // The dialog manager asks on Enter. A focused command button takes the key, as it
        // would in a dialog; else the default button, but only when the user can see it.
        Win32Control* focused = ControlByHwnd(GetFocus());
        Win32Control* target =
            focused && focused->Description().type == ControlType::CommandButton ? focused : defaultButton_;
        if (target && IsWindowVisible(target->Hwnd()) && IsWindowEnabled(target->Hwnd()))
            return MAKELRESULT(form_.ControlId(target->Description()), DC_HASDEFID);
        return 0;
    }
    case WM_ACTIVATE:
        // The form is no dialog, so it keeps the focus of its controls across deactivation itself.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd, focus)) lastFocus_ = focus;
        } else if (!HIWORD(wParam)) {
            RestoreFocus();
        }
        return 0;
    case WM_SETFOCUS:
        RestoreFocus();
        return 0;
    case WM_CLOSE:
        // The close box does what "Exit" does.
        Close();
        return 0;
    case WM_NCDESTROY:
        OnDestroyed();
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

std::vector<const ControlDescription*> Win32Window::TabOrder() const {
    std::vector<const ControlDescription*> order;
    for (const auto& d : form_.controls) order.push_back(&d);
    std::stable_sort(order.begin(), order.end(),
                     [](const ControlDescription* a, const ControlDescription* b) { return a->tabIndex < b->tabIndex; });
    return order;
}

// A control Tab stops at: one that takes the focus, which the user can see and reach (it and
// every frame around it visible and enabled). Of an option group only the chosen button is a
// stop, or every button while none is chosen.
bool Win32Window::IsTabStop(const ControlDescription& d) {
    switch (d.type) {
    case ControlType::Label:
    case ControlType::Frame:
    case ControlType::Timer:
        return false;
    default:
        break;
    }
    Win32Control* control = ControlOf(d);
    if (!control || !control->Hwnd() || !IsWindowVisible(control->Hwnd())) return false;
    for (HWND hwnd = control->Hwnd(); hwnd && hwnd != hwnd_; hwnd = GetParent(hwnd))
        if (!IsWindowEnabled(hwnd)) return false;
    if (d.type != ControlType::OptionButton) return true;
    auto chosen = [](const Win32Control& option) {
        return SendMessageW(option.Hwnd(), BM_GETCHECK, 0, 0) == BST_CHECKED;
    };
    if (chosen(*control)) return true;
    for (const auto& other : controls_)
        if (other && InOptionGroupOf(other->Description(), d) && chosen(*other)) return false;
    return true;
}

// Tab goes by the tab indexes of the whole window, as the form table gives them, not by the
// stacking of each container: the focus moves in and out of frames as the indexes say.
Win32Control* Win32Window::NextTabStop(HWND from, bool backward) {
    const std::vector<const ControlDescription*> order = TabOrder();
    const auto count = static_cast<std::ptrdiff_t>(order.size());
    Win32Control* current = nullptr;
    for (HWND hwnd = from; hwnd && hwnd != hwnd_ && !current; hwnd = GetParent(hwnd)) current = ControlByHwnd(hwnd);
    std::ptrdiff_t at = backward ? count : -1;
    if (current) at = std::find(order.begin(), order.end(), &current->Description()) - order.begin();
    for (std::ptrdiff_t step = 1; step <= count; ++step) {
        const ControlDescription& d = *order[static_cast<size_t>(((backward ? at - step : at + step) % count + count) % count)];
        if (IsTabStop(d)) return ControlOf(d);
    }
    return nullptr;
}

bool Win32Window::HandleTabKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB || !hwnd_) return false;
    if (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd)) return false;
    const LRESULT code = SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
    if (code & (DLGC_WANTTAB | DLGC_WANTALLKEYS)) return false;
    if (Win32Control* next = NextTabStop(GetFocus(), GetKeyState(VK_SHIFT) < 0)) {
        // As in a dialog, a text box entered by Tab has its text selected.
        if (next->Description().type == ControlType::TextBox) SendMessageW(next->Hwnd(), EM_SETSEL, 0, -1);
        SetFocus(next->Hwnd());
    }
    return true;
}

void Win32Window::RestoreFocus() {
    if (!hwnd_) return;
    HWND target = lastFocus_;
    if (!target || !IsWindow(target) || !IsChild(hwnd_, target) || !IsWindowVisible(target) || !IsWindowEnabled(target)) {
        Win32Control* first = NextTabStop(nullptr, false);
        target = first ? first->Hwnd() : nullptr;
    }
    lastFocus_ = nullptr;
    // With nothing to take it, the form keeps the focus so that access keys still reach it.
    if (!target) target = hwnd_;
    if (target != GetFocus()) SetFocus(target);
}

void Win32Window::OnDestroyed() {
    closed_ = true;
    hwnd_ = nullptr;
    if (timer_) timer_->TimerStopped();
}

LRESULT CALLBACK Win32Window::FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
        return window->HandleFormMessage(hwnd, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

LRESULT CALLBACK Win32Window::FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hwnd, kFrameFormSlot, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, kFrameFormSlot));
        switch (message) {
        case WM_SETFONT:
            SetWindowLongPtrW(hwnd, kFrameFontSlot, static_cast<LONG_PTR>(wParam));
            if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_GETFONT:
            return GetWindowLongPtrW(hwnd, kFrameFontSlot);
        case WM_SETTEXT: {
            const LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
            InvalidateRect(hwnd, nullptr, TRUE);
            return result;
        }
        case WM_PAINT:
            PaintFrame(hwnd);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(hwnd, kFrameFormSlot, 0);
            break;
        default:
            if (window) {
                LRESULT result = 0;
                if (window->HandleChildMessage(message, wParam, lParam, result)) return result;
            }
            break;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

namespace {

struct ThreadWindows {
    HWND except;
    std::vector<HWND>* found;
};

BOOL CALLBACK CollectEnabledWindow(HWND hwnd, LPARAM param) {
    auto* windows = reinterpret_cast<ThreadWindows*>(param);
    try {
        if (hwnd != windows->except && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) windows->found->push_back(hwnd);
    } catch (...) {
        return FALSE;
    }
    return TRUE;
}

}  // namespace

// While the form is up the user works only in it, as in any modal window: every other
// visible, enabled window of the thread is disabled, and exactly those are enabled again.
void Win32Window::DisableThreadWindows() {
    std::vector<HWND> found;
    ThreadWindows windows{hwnd_, &found};
    EnumThreadWindows(GetCurrentThreadId(), &CollectEnabledWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND hwnd : found) {
        disabled_.push_back(hwnd);
        EnableWindow(hwnd, FALSE);
    }
}

void Win32Window::RestoreThreadWindows() {
    for (HWND hwnd : disabled_)
        if (IsWindow(hwnd)) EnableWindow(hwnd, TRUE);
    disabled_.clear();
}

void Win32Window::Process(MSG& msg) {
    if (HandleTabKey(msg)) return;
    if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void Win32Window::RunModal() {
    if (closed_ || !hwnd_) return;
    if (running_) throw std::logic_error("the window is already shown modally");
    running_ = true;
    previousActive_ = GetActiveWindow();
    bool quit = false;
    WPARAM quitCode = 0;
    try {
        DisableThreadWindows();
        ShowWindow(hwnd_, SW_SHOW);
        SetActiveWindow(hwnd_);
        UpdateWindow(hwnd_);
        // The loop ends on the closed flag set when the window is destroyed, wherever that
        // happened (a handler, a nested event pump, the owner going away).
        while (!closed_) {
            MSG msg;
            const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0) {
                quit = true;
                quitCode = msg.wParam;
                break;
            }
            if (got == -1) break;
            Process(msg);
        }
        Close();
    } catch (...) {
        running_ = false;
        Close();
        throw;
    }
    running_ = false;
    RestoreThreadWindows();
    if (previousActive_ && IsWindow(previousActive_) && IsWindowEnabled(previousActive_))
        SetActiveWindow(previousActive_);
    previousActive_ = nullptr;
    // The quit request was meant for the loop of whoever called us.
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
}

void Win32Window::Close() {
    if (!closed_) {
        // Enabled again before the form goes, so that activation returns to them and not to
        // another application.
        RestoreThreadWindows();
        if (hwnd_) DestroyWindow(hwnd_);
        OnDestroyed();
    }
    // Also after the form went some other way (its owner destroyed it): the modal loop closes
    // it once more on the way out.
    ReleaseResources();
}

void Win32Window::DoEvents() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        Process(msg);
    }
}

void Win32Window::ShowMessage(const std::string& text) {
    // Without a live form the box is task-modal, so the host's windows still wait for it.
    const UINT type = MB_OK | (hwnd_ ? 0u : static_cast<UINT>(MB_TASKMODAL));
    MessageBoxW(hwnd_, ToWide(text).c_str(), ToWide(form_.caption).c_str(), type);
}

std::unique_ptr<LoadedWindow> Win32Toolkit::Load(const FormDescription& form, EventSink& events) {
    auto window = std::make_unique<Win32Window>(form, events);
    window->Create();
    return window;
}

}  // namespace starwright
