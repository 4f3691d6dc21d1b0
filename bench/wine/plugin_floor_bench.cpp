// The plug-in's own cost under Wine, as ratios to a floor made in the same run.
//
// The plug-in runs as a host meets it: Starwright.dll loaded into this process, a PlugIn object
// from its class factory, DoModal called through IDispatch, its real window clicked from inside
// the modal loop, and the simulated host served over COM on this thread. The floor does the same
// work with nothing of the plug-in: a plain client making the same host calls on the same
// thread, and a bare window with the same controls made with CreateWindowEx, whose lists take
// their entries with redrawing suspended and are drawn once. Every time runs from the click to
// the window drawn. Plug-in and floor runs alternate and the best of each is kept, since a
// shared machine has slow phases; the two must make the same number of host calls.
//
// Run by `make bench` (scripts/bench-wine.sh). Prints each ratio next to its goal and exits 1
// when a goal is missed; it is no test and fails nothing else.

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/com/host_ids.h"
#include "host/sim/com/sim_com_server.h"
#include "host/sim/sim_host.h"
#include "plugin/identifiers.h"
#include "tests/wine/plugin_test_support.h"
#include "tests/wine/window_driver.h"
#include "window/form_description.h"

namespace starwright {
namespace {

using Microsoft::WRL::ComPtr;
namespace ids = com::host_ids;

double Now() {
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerMs;
}

void Check(HRESULT hr, const char* what) {
    if (FAILED(hr)) throw std::runtime_error(std::string(what) + " failed: " + test::Hex(hr));
}

bool g_stepFailed = false;

// Draws whatever waits to be drawn in the window, so that a time includes the drawing.
void Draw(HWND window) { RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN); }
// A button's click as the button reports it to its window. Not pressed: a press would move the
// focus, and with it the activation, between the plug-in's window and the bare one.
void Click(HWND button) {
    SendMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

// Choosing one of three option buttons: it is checked and the others cleared, as pressing it
// does, then clicked.
void Choose(HWND (&options)[3], int16_t option) {
    for (int16_t other = 0; other < 3; ++other)
        SendMessageW(options[other], BM_SETCHECK, other == option ? BST_CHECKED : BST_UNCHECKED, 0);
    Click(options[option]);
}
LRESULT ListCount(HWND list) { return SendMessageW(list, LB_GETCOUNT, 0, 0); }

void PumpUntil(const bool& done) {
    MSG msg;
    while (!done && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// A message-only window whose posted messages run closures: how the benchmark acts from inside a
// modal loop it does not own, as soon as that loop waits for input.
class Mailbox {
public:
    Mailbox() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"StarwrightBenchMailbox";
        RegisterClassW(&wc);
        hwnd_ = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        if (!hwnd_) throw std::runtime_error("no mailbox window");
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Mailbox() { DestroyWindow(hwnd_); }
    Mailbox(const Mailbox&) = delete;
    Mailbox& operator=(const Mailbox&) = delete;

    void Post(std::function<void()> action) {
        actions_.push_back(std::move(action));
        PostMessageW(hwnd_, WM_APP, 0, 0);
    }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Mailbox*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (message != WM_APP || !self || self->actions_.empty()) return DefWindowProcW(hwnd, message, wParam, lParam);
        auto action = std::move(self->actions_.front());
        self->actions_.pop_front();
        try {
            action();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "benchmark step failed: %s\n", e.what());
            g_stepFailed = true;
        }
        return 0;
    }

    HWND hwnd_ = nullptr;
    std::deque<std::function<void()>> actions_;
};

// frmMain's controls made with plain CreateWindowEx, with the plug-in's classes, styles, fonts
// and layout, and nothing else: what any window with these controls costs. A click on one of
// its buttons runs `onClick` with the button's description.
class BareWindow {
public:
    BareWindow() {
        RegisterClasses();
        if (HDC screen = GetDC(nullptr)) {
            dpiX_ = GetDeviceCaps(screen, LOGPIXELSX);
            dpiY_ = GetDeviceCaps(screen, LOGPIXELSY);
            ReleaseDC(nullptr, screen);
        }
        for (FontStyle style : {FontStyle::Default, FontStyle::Bold, FontStyle::Help}) {
            const FontDescription& f = FontOf(style);
            fonts_.push_back(CreateFontW(-MulDiv(static_cast<int>(f.points * 100 + 0.5), dpiY_, 7200), 0, 0, 0, f.weight,
                                         FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                         DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, ToWide(f.face).c_str()));
        }
        const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
        const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
        RECT frame{0, 0, X(form_.clientWidth), Y(form_.clientHeight)};
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
        hwnd_ = CreateWindowExW(exStyle, kFormClass, L"Bare", style, 100, 100, frame.right - frame.left,
                                frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleW(nullptr), this);
        if (!hwnd_) throw std::runtime_error("no bare window");
        controls_.assign(form_.controls.size(), nullptr);
        // Frames before the controls they hold.
        for (bool outer : {true, false})
            for (const auto& d : form_.controls)
                if (d.container.empty() == outer && d.type != ControlType::Timer) Create(d);
    }
    ~BareWindow() {
        DestroyWindow(hwnd_);
        for (HFONT font : fonts_) DeleteObject(font);
    }
    BareWindow(const BareWindow&) = delete;
    BareWindow& operator=(const BareWindow&) = delete;

    void Show() {
        ShowWindow(hwnd_, SW_SHOW);
        SetActiveWindow(hwnd_);
        UpdateWindow(hwnd_);
    }
    HWND Form() const { return hwnd_; }
    HWND Find(std::string_view name, int16_t index = -1) const {
        return controls_[static_cast<size_t>(form_.ControlId(name, index) - form_.ControlId(form_.controls[0]))];
    }

    std::function<void(const ControlDescription&)> onClick;

private:
    static constexpr wchar_t kFormClass[] = L"StarwrightBenchBareForm";
    static constexpr wchar_t kFrameClass[] = L"StarwrightBenchBareFrame";

    int X(int twips) const { return MulDiv(twips, dpiX_, 1440); }
    int Y(int twips) const { return MulDiv(twips, dpiY_, 1440); }

    void Create(const ControlDescription& d) {
        const wchar_t* className = L"BUTTON";
        DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (d.visible ? WS_VISIBLE : 0u);
        DWORD exStyle = 0;
        int height = Y(d.height);
        switch (d.type) {
        case ControlType::Label:
            className = L"STATIC";
            style |= SS_NOPREFIX | (d.wraps ? SS_LEFT : SS_LEFTNOWORDWRAP) | (d.whiteBackground ? WS_BORDER : 0u);
            break;
        case ControlType::TextBox:
            className = L"EDIT";
            style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlType::ListBox:
            className = L"LISTBOX";
            style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlType::ComboBox:
            className = L"COMBOBOX";
            style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
            height += Y(d.height) * static_cast<int>(d.items.size() + 2);
            break;
        case ControlType::CheckBox: style |= WS_TABSTOP | BS_AUTOCHECKBOX; break;
        case ControlType::OptionButton: style |= WS_TABSTOP | BS_AUTORADIOBUTTON | (d.index == 0 ? WS_GROUP : 0u); break;
        case ControlType::CommandButton: style |= WS_TABSTOP | (d.defaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON); break;
        case ControlType::Frame:
            className = kFrameClass;
            exStyle = WS_EX_CONTROLPARENT;
            break;
        case ControlType::Timer: return;
        }
        const bool list = d.type == ControlType::ListBox || d.type == ControlType::ComboBox;
        HWND parent = d.container.empty() ? hwnd_ : Find(d.container);
        HWND hwnd = CreateWindowExW(exStyle, className, list ? L"" : ToWide(d.caption).c_str(), style, X(d.left),
                                    Y(d.top), X(d.width), height, parent,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(form_.ControlId(d))),
                                    GetModuleHandleW(nullptr), nullptr);
        if (!hwnd) throw std::runtime_error("no bare control");
        controls_[static_cast<size_t>(&d - form_.controls.data())] = hwnd;
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_[static_cast<size_t>(d.font)]), FALSE);
        for (auto item : d.items) SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(item).c_str()));
        if (d.selected) SendMessageW(hwnd, BM_SETCHECK, BST_CHECKED, 0);
    }

    static void RegisterClasses() {
        WNDCLASSW form{};
        form.lpfnWndProc = &FormProc;
        form.hInstance = GetModuleHandleW(nullptr);
        form.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        form.lpszClassName = kFormClass;
        WNDCLASSW frame = form;
        frame.lpfnWndProc = &FrameProc;
        frame.lpszClassName = kFrameClass;
        RegisterClassW(&form);
        RegisterClassW(&frame);
    }

    static LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE)
            SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<BareWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && self && self->onClick) {
            const ControlDescription& d = self->form_.controls[LOWORD(wParam) - self->form_.ControlId(self->form_.controls[0])];
            try {
                self->onClick(d);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "floor step failed: %s\n", e.what());
                g_stepFailed = true;
            }
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    // A container that draws itself as a group box: an etched rectangle and its caption.
    static LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case WM_COMMAND: return SendMessageW(GetAncestor(hwnd, GA_ROOT), message, wParam, lParam);
        case WM_SETFONT: SetWindowLongPtrW(hwnd, GWLP_USERDATA, static_cast<LONG_PTR>(wParam)); return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)));
            TEXTMETRICW metrics{};
            GetTextMetricsW(dc, &metrics);
            RECT box;
            GetClientRect(hwnd, &box);
            box.top += metrics.tmHeight / 2;
            DrawEdge(dc, &box, EDGE_ETCHED, BF_RECT);
            wchar_t caption[64] = {};
            GetWindowTextW(hwnd, caption, 64);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            RECT text{metrics.tmAveCharWidth, 0, box.right, metrics.tmHeight};
            DrawTextW(dc, caption, -1, &text, DT_SINGLELINE | DT_NOPREFIX);
            SelectObject(dc, old);
            EndPaint(hwnd, &ps);
            return 0;
        }
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
        }
    }

    const FormDescription& form_ = FrmMainDescription();
    HWND hwnd_ = nullptr;
    int dpiX_ = 96;
    int dpiY_ = 96;
    std::vector<HFONT> fonts_;
    std::vector<HWND> controls_;  // by position in the description; none for the timer
};

// Host calls as a plain automation client makes them: late-bound through IDispatch, the list
// by DISPID and documents by member name, as the host's own type library describes them.
ComPtr<IDispatch> CreateObject(const CLSID& clsid) {
    ComPtr<IDispatch> object;
    Check(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_PPV_ARGS(&object)), "CoCreateInstance");
    return object;
}

void Invoke(IDispatch* object, DISPID id, WORD flags, VARIANT* result, VARIANT* arguments = nullptr, UINT count = 0) {
    DISPPARAMS params{arguments, nullptr, count, 0};
    Check(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr), "Invoke");
}

void Get(IDispatch* object, DISPID id, test::OwnedVariant& result, VARIANT* argument = nullptr) {
    Invoke(object, id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &result.value, argument, argument ? 1 : 0);
}

DISPID IdOf(IDispatch* object, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    Check(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), "GetIDsOfNames");
    return id;
}

void Item(IDispatch* documents, int position, test::OwnedVariant& document) {
    VARIANT index;
    index.vt = VT_I2;
    index.iVal = static_cast<SHORT>(position);
    Get(documents, ids::document_list::kItem, document, &index);
}

void SetRedraw(HWND list, bool on) {
    SendMessageW(list, WM_SETREDRAW, on ? TRUE : FALSE, 0);
    if (on) RedrawWindow(list, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
}

const std::wstring& EntryText(HWND list, LRESULT position, std::wstring& buffer) {
    buffer.resize(static_cast<size_t>(SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(position), 0)) + 1);
    const LRESULT length = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(buffer.data()));
    buffer.resize(static_cast<size_t>(length));
    return buffer;
}

std::wstring Text(HWND control) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The floor of each handler: the same host calls and control changes, made directly.
namespace floor_work {

void List(BareWindow& w) {
    HWND list = w.Find("lstImagesBin");
    SetRedraw(list, false);
    ComPtr<IDispatch> application = CreateObject(ids::kApplicationClass);
    test::OwnedVariant documents, count;
    Get(application.Get(), ids::application::kDocuments, documents);
    Get(documents.value.pdispVal, ids::document_list::kCount, count);
    for (int position = 1; position <= count.value.lVal; ++position) {
        test::OwnedVariant document, name;
        Item(documents.value.pdispVal, position, document);
        Get(document.value.pdispVal, IdOf(document.value.pdispVal, L"DisplayName"), name);
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.value.bstrVal));
    }
    SetRedraw(list, true);
}

void Choose(BareWindow& w, int16_t tool) {
    const char* frames[] = {"vHandyPath", "vHandyStart", "vBin"};
    for (int16_t other = 0; other < 3; ++other)
        if (other != tool) ShowWindow(w.Find(frames[other]), SW_HIDE);
    ShowWindow(w.Find(frames[tool]), SW_SHOWNA);
    if (tool != 2) return;
    List(w);
    SendMessageW(w.Find("cmbType"), CB_SETCURSEL, 0, 0);
    SetWindowTextW(w.Find("txtKey"), L"");
    SetWindowTextW(w.Find("txtKeyValue"), L"");
    ShowWindow(w.Find("txtMessage4"), SW_HIDE);
}

void MoveAll(HWND from, HWND to) {
    SetRedraw(from, false);
    SetRedraw(to, false);
    std::wstring text;
    const LRESULT count = ListCount(from);
    for (LRESULT position = 0; position < count; ++position)
        SendMessageW(to, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(EntryText(from, position, text).c_str()));
    SendMessageW(from, LB_RESETCONTENT, 0, 0);
    SetRedraw(from, true);
    SetRedraw(to, true);
}

void Update(BareWindow& w) {
    HWND picked = w.Find("lstSelectedBin");
    ShowWindow(w.Find("txtMessage4"), SW_HIDE);
    ComPtr<IDispatch> application = CreateObject(ids::kApplicationClass);
    test::OwnedVariant documents;
    Get(application.Get(), ids::application::kDocuments, documents);
    IDispatch* list = documents.value.pdispVal;
    std::wstring entry;
    const LRESULT entries = ListCount(picked);
    for (LRESULT position = 0; position < entries; ++position) {
        test::OwnedVariant count;
        Get(list, ids::document_list::kCount, count);
        EntryText(picked, position, entry);
        for (int document = 1; document <= count.value.lVal; ++document) {
            test::OwnedVariant item, name;
            Item(list, document, item);
            Get(item.value.pdispVal, IdOf(item.value.pdispVal, L"DisplayName"), name);
            if (SysStringLen(name.value.bstrVal) != entry.size() ||
                std::wmemcmp(name.value.bstrVal, entry.data(), entry.size()) != 0)
                continue;
            SendMessageW(w.Find("cmbType"), CB_GETCURSEL, 0, 0);
            const std::wstring key = Text(w.Find("txtKey"));
            const std::wstring valueText = Text(w.Find("txtKeyValue"));
            test::OwnedBstr valueBstr;
            valueBstr.text = SysAllocString(valueText.c_str());
            VARIANT arguments[2];  // last to first
            arguments[0].vt = VT_R8;
            Check(VarR8FromStr(valueBstr.text, LOCALE_USER_DEFAULT, 0, &arguments[0].dblVal), "VarR8FromStr");
            test::OwnedVariant target, keyArgument;
            Item(list, document, target);
            keyArgument.value.vt = VT_BSTR;
            keyArgument.value.bstrVal = SysAllocString(key.c_str());
            arguments[1] = keyArgument.value;
            test::OwnedVariant ignored;
            Invoke(target.value.pdispVal, IdOf(target.value.pdispVal, L"SetFITSKey"), DISPATCH_METHOD, &ignored.value,
                   arguments, 2);
            break;
        }
    }
    ShowWindow(w.Find("txtMessage4"), SW_SHOWNA);
}

}  // namespace floor_work

// A time and the host calls made in it.
struct Timed {
    double ms;
    size_t calls;
};

// One measurement: the best plug-in and floor times over the runs, and the host calls each made.
struct Figure {
    std::string work;
    double goal = 0;  // the highest ratio allowed; 0 reports the ratio only
    double plugIn = 1e300;
    double floor = 1e300;
    size_t plugInCalls = 0;
    size_t floorCalls = 0;

    void Keep(bool ofPlugIn, const Timed& timed) {
        double& best = ofPlugIn ? plugIn : floor;
        if (timed.ms < best) best = timed.ms;
        (ofPlugIn ? plugInCalls : floorCalls) = timed.calls;
    }
};

class Bench {
public:
    Bench() : server_(host) {
        Check(server_.Register(), "registering the simulated host");
        module_ = LoadLibraryW(test::BesideTest(L"Starwright.dll").c_str());
        if (!module_) throw std::runtime_error("Starwright.dll not found beside the benchmark");
        auto getClassObject = test::ExportOf<test::GetClassObjectFn>(module_, "DllGetClassObject");
        if (!getClassObject) throw std::runtime_error("no DllGetClassObject");
        ComPtr<IClassFactory> factory;
        Check(getClassObject(plugin::kPlugInClsid, IID_PPV_ARGS(&factory)), "DllGetClassObject");
        Check(factory->CreateInstance(nullptr, IID_PPV_ARGS(&plugIn_)), "CreateInstance");
    }

    void OpenDocuments(int count) {
        host.documents.clear();
        for (int i = 1; i <= count; ++i) host.AddDocument("M31_Light_" + std::to_string(100000 + i).substr(1) + "_300s.fit");
    }

    // Shows the plug-in's window through DoModal and, from inside its modal loop, a bare window
    // beside it, so that the two can take turns at short intervals; runs `inside`, then closes
    // both.
    void SideBySide(const std::function<void(BareWindow&)>& inside) {
        mailbox_.Post([&] {
            struct Exit {
                ~Exit() {
                    if (HWND exit = driver::FindControl("cmdExit")) Click(exit);
                }
            } exit;
            HWND form = driver::FindForm();
            BareWindow bare;
            // Neither covers the other, which would spare it drawing.
            RECT rect;
            GetWindowRect(form, &rect);
            SetWindowPos(form, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            SetWindowPos(bare.Form(), nullptr, rect.right - rect.left, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            bare.Show();
            Draw(form);
            Draw(bare.Form());
            inside(bare);
        });
        DoModal();
    }

    // From DoModal to the window drawn, and from "Exit" until DoModal has returned; against a
    // bare window made, shown and drawn, and destroyed.
    void OpenAndClose(Figure& open, Figure& close) {
        double start = Now(), opened = 0, closing = 0;
        mailbox_.Post([&] {
            Draw(driver::FindForm());
            opened = Now();
            HWND exit = driver::Control("cmdExit");
            mailbox_.Post([&, exit] {
                closing = Now();
                Click(exit);
            });
        });
        DoModal();
        const double closed = Now();
        open.Keep(true, {opened - start, 0});
        close.Keep(true, {closed - closing, 0});

        start = Now();
        auto bare = std::make_unique<BareWindow>();
        bare->Show();
        bool drawn = false;
        mailbox_.Post([&] {
            Draw(bare->Form());
            drawn = true;
        });
        PumpUntil(drawn);
        open.Keep(false, {Now() - start, 0});
        closing = Now();
        bare.reset();
        close.Keep(false, {Now() - closing, 0});
    }

    // Times `work` and counts the host calls it made.
    Timed Time(const std::function<void()>& work) {
        host.calls.clear();
        const double start = Now();
        work();
        const double ms = Now() - start;
        return {ms, host.calls.size()};
    }

    sim::SimHost host;

private:
    void DoModal() {
        VARIANT document;
        document.vt = VT_DISPATCH;
        document.pdispVal = nullptr;
        DISPPARAMS params{&document, nullptr, 1, 0};
        Check(plugIn_->Invoke(plugin::kDispIdDoModal, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              "DoModal");
    }

    sim::SimComServer server_;
    HMODULE module_ = nullptr;
    ComPtr<IDispatch> plugIn_;
    Mailbox mailbox_;
};

// One side's part in a measurement: the work timed, and what puts the window back afterwards.
struct Side {
    std::function<void()> work;
    std::function<void()> reset = [] {};
};

// The plug-in and the floor in turns, `runs` times each, the one to go first swapped every run.
void Alternate(Bench& bench, Figure& figure, int runs, const Side& plugIn, const Side& floor, int firstRun = 0) {
    for (int run = firstRun; run < firstRun + runs; ++run) {
        for (bool ofPlugIn : {run % 2 == 0, run % 2 != 0}) {
            const Side& side = ofPlugIn ? plugIn : floor;
            figure.Keep(ofPlugIn, bench.Time(side.work));
            side.reset();
        }
    }
}

// A control of the plug-in's window.
HWND PlugIn(std::string_view name, int16_t index = -1) { return driver::Control(name, index); }

void Expect(bool condition, const char* what) {
    if (!condition) throw std::runtime_error(what);
}

// Choosing "Handy Start", "Handy FITS" and "Handy Path" in turn, with no image open: the frames
// shown and hidden, the inputs reset and an empty listing.
void ChooseTools(Bench& bench, Figure& figure, int runs) {
    bench.OpenDocuments(0);
    bench.SideBySide([&](BareWindow& bare) {
        bare.onClick = [&](const ControlDescription& d) { floor_work::Choose(bare, d.index); };
        HWND form = driver::FindForm();
        HWND plugInOptions[] = {PlugIn("optOptions", 0), PlugIn("optOptions", 1), PlugIn("optOptions", 2)};
        HWND bareOptions[] = {bare.Find("optOptions", 0), bare.Find("optOptions", 1), bare.Find("optOptions", 2)};
        auto side = [](HWND window, HWND (&options)[3]) {
            return Side{[=, &options] {
                for (int16_t tool : {1, 2, 0}) {
                    Choose(options, tool);
                    Draw(window);
                }
            }};
        };
        Alternate(bench, figure, runs, side(form, plugInOptions), side(bare.Form(), bareOptions));
    });
}

// Choosing "Handy FITS" with `count` images open, until the list is drawn.
void List(Bench& bench, int count, Figure& figure, int runs) {
    bench.OpenDocuments(count);
    bench.SideBySide([&](BareWindow& bare) {
        bare.onClick = [&](const ControlDescription& d) { floor_work::Choose(bare, d.index); };
        HWND form = driver::FindForm();
        HWND plugInOptions[] = {PlugIn("optOptions", 0), PlugIn("optOptions", 1), PlugIn("optOptions", 2)};
        HWND bareOptions[] = {bare.Find("optOptions", 0), bare.Find("optOptions", 1), bare.Find("optOptions", 2)};
        auto side = [&](HWND window, HWND (&options)[3], HWND list) {
            return Side{[=, &options] {
                            Choose(options, 2);
                            Draw(window);
                            Expect(ListCount(list) == count, "a listing missed images");
                        },
                        [=, &options] {
                            SendMessageW(list, LB_RESETCONTENT, 0, 0);
                            Choose(options, 0);
                            Draw(window);
                        }};
        };
        Alternate(bench, figure, runs, side(form, plugInOptions, PlugIn("lstImagesBin")),
                  side(bare.Form(), bareOptions, bare.Find("lstImagesBin")));
    });
}

// With 32,767 images open: listing them once on each side, the first side swapped every
// session; then moving them with "All >>" and back with "<< All", `moves` times on each side.
void ListAndMoveAll(Bench& bench, int session, int moves, Figure& list, Figure& right, Figure& left) {
    const int count = 32767;
    if (static_cast<int>(bench.host.documents.size()) != count) bench.OpenDocuments(count);
    bench.SideBySide([&](BareWindow& bare) {
        HWND images = bare.Find("lstImagesBin"), picked = bare.Find("lstSelectedBin");
        bare.onClick = [&](const ControlDescription& d) {
            if (d.name == "optOptions") floor_work::Choose(bare, d.index);
            else if (d.index == 0) floor_work::MoveAll(images, picked);
            else floor_work::MoveAll(picked, images);
        };
        HWND form = driver::FindForm();
        HWND plugInOptions[] = {PlugIn("optOptions", 0), PlugIn("optOptions", 1), PlugIn("optOptions", 2)};
        HWND bareOptions[] = {bare.Find("optOptions", 0), bare.Find("optOptions", 1), bare.Find("optOptions", 2)};
        auto fits = [](HWND window, HWND (&options)[3]) {
            return Side{[=, &options] {
                Choose(options, 2);
                Draw(window);
            }};
        };
        auto click = [](HWND window, HWND button) {
            return Side{[=] {
                Click(button);
                Draw(window);
            }};
        };
        Alternate(bench, list, 1, fits(form, plugInOptions), fits(bare.Form(), bareOptions), session);
        Expect(ListCount(PlugIn("lstImagesBin")) == count && ListCount(images) == count, "a listing missed images");
        for (int move = 0; move < moves; ++move) {
            Alternate(bench, right, 1, click(form, PlugIn("cmdBinMove", 0)), click(bare.Form(), bare.Find("cmdBinMove", 0)),
                      session + move);
            Expect(ListCount(PlugIn("lstSelectedBin")) == count && ListCount(picked) == count, "\"All >>\" missed names");
            Alternate(bench, left, 1, click(form, PlugIn("cmdBinMove", 3)), click(bare.Form(), bare.Find("cmdBinMove", 3)),
                      session + move);
            Expect(ListCount(PlugIn("lstImagesBin")) == count && ListCount(images) == count, "\"<< All\" missed names");
        }
    });
}

// "Update Fits Header" with every one of `count` open images picked.
void Update(Bench& bench, int count, Figure& figure, int runs) {
    bench.OpenDocuments(count);
    bench.SideBySide([&](BareWindow& bare) {
        bare.onClick = [&](const ControlDescription& d) {
            if (d.name == "optOptions") floor_work::Choose(bare, d.index);
            else if (d.name == "cmdBinMove") floor_work::MoveAll(bare.Find("lstImagesBin"), bare.Find("lstSelectedBin"));
            else floor_work::Update(bare);
        };
        HWND form = driver::FindForm();
        HWND plugInOptions[] = {PlugIn("optOptions", 0), PlugIn("optOptions", 1), PlugIn("optOptions", 2)};
        HWND bareOptions[] = {bare.Find("optOptions", 0), bare.Find("optOptions", 1), bare.Find("optOptions", 2)};
        Choose(plugInOptions, 2);
        Click(PlugIn("cmdBinMove", 0));
        driver::Type("txtKey", "SET-TEMP");
        driver::Type("txtKeyValue", "-20");
        Choose(bareOptions, 2);
        Click(bare.Find("cmdBinMove", 0));
        SetWindowTextW(bare.Find("txtKey"), L"SET-TEMP");
        SetWindowTextW(bare.Find("txtKeyValue"), L"-20");
        HWND set = PlugIn("cmdSet");
        Alternate(bench, figure, runs,
                  {[&] {
                      Click(set);
                      Draw(form);
                      Expect(driver::IsShown("txtMessage4"), "the update did not end with \"Updated\"");
                  }},
                  {[&] {
                      Click(bare.Find("cmdSet"));
                      Draw(bare.Form());
                  }});
    });
}

bool Report(const Figure& f) {
    const double ratio = f.plugIn / f.floor;
    const bool met = f.goal == 0 || ratio <= f.goal;
    std::printf("%-46s %9.1f ms %9.1f ms %7.2f", f.work.c_str(), f.plugIn, f.floor, ratio);
    if (f.goal > 0) std::printf("   <= %.2f  %s", f.goal, met ? "ok" : "MISSED");
    if (f.plugInCalls != f.floorCalls)
        std::printf("   (host calls differ: %zu against %zu)", f.plugInCalls, f.floorCalls);
    std::printf("\n");
    return met && f.plugInCalls == f.floorCalls;
}

// Each figure so far, to the error stream, for watching a long benchmark.
bool g_verbose = false;

void Progress(std::initializer_list<const Figure*> figures) {
    if (!g_verbose) return;
    for (const Figure* f : figures)
        std::fprintf(stderr, "  %-46s best so far %9.1f ms %9.1f ms\n", f->work.c_str(), f->plugIn, f->floor);
}

int Run(int runs, int sessions) {
    Bench bench;
    Figure open{"open the window (DoModal -> drawn)"};
    Figure close{"close it (\"Exit\" -> DoModal returned)"};
    Figure tools{"choose each tool once, no image open", 1.10};
    Figure list500{"list 500 open images", 1.05};
    Figure list32k{"list 32,767 open images", 1.10};
    Figure right32k{"\"All >>\" with 32,767 names", 1.10};
    Figure left32k{"\"<< All\" with 32,767 names", 1.10};
    Figure update{"write a keyword into 300 picked of 300 images", 1.10};

    bench.OpenDocuments(0);
    for (int run = 0; run <= runs; ++run) {
        // The first showing loads the plug-in's type information and window classes: not counted.
        Figure first[2];
        bench.OpenAndClose(run == 0 ? first[0] : open, run == 0 ? first[1] : close);
    }
    Progress({&open, &close});
    ChooseTools(bench, tools, runs);
    Progress({&tools});
    List(bench, 500, list500, runs);
    Progress({&list500});
    Update(bench, 300, update, runs);
    Progress({&update});
    for (int session = 0; session < sessions; ++session) {
        ListAndMoveAll(bench, session, 2, list32k, right32k, left32k);
        Progress({&list32k, &right32k, &left32k});
    }
    if (g_stepFailed) return 2;

    std::printf("%-46s %12s %12s %7s\n", "work (best of alternating runs)", "plug-in", "floor", "ratio");
    bool met = true;
    for (const Figure* f : {&open, &close, &tools, &list500, &list32k, &right32k, &left32k, &update}) met &= Report(*f);
    return met ? 0 : 1;
}

}  // namespace
}  // namespace starwright

// Arguments: [-v] [runs of each small measurement (40)] [showings with 32,767 images (9)].
int main(int argc, char** argv) {
    int counts[] = {40, 9};
    int given = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "-v") starwright::g_verbose = true;
        else if (given < 2) counts[given++] = std::max(1, std::atoi(argv[i]));
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int result = 2;
    try {
        result = starwright::Run(counts[0], counts[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
    }
    CoUninitialize();
    return result;
}
