#include "demo/host_window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "demo/chart_view.h"
#include "platform/text_win.h"

namespace starwright::demo {

namespace {

constexpr wchar_t kWindowClass[] = L"StarwrightStandInHost";
constexpr wchar_t kChartClass[] = L"StarwrightStandInChart";
constexpr UINT_PTR kRefreshTimer = 1;
constexpr int kImageListId = 300;

// What the fault switches make the host answer.
constexpr int32_t kCameraFault = static_cast<int32_t>(0x80040403);
constexpr int32_t kImageFault = static_cast<int32_t>(0x80040404);
constexpr char kCameraCalls[] = "Camera.";
constexpr char kImageCalls[] = "Document";  // the image list and every image

constexpr COLORREF kWrittenCard = RGB(255, 236, 150);
constexpr COLORREF kFailedCall = RGB(190, 0, 0);

// Item data of the header view's lines: a card the plug-in wrote.
constexpr LRESULT kWrittenMark = 1;
// Item data of the log's lines: a call that failed.
constexpr LRESULT kFailedMark = 1;

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// A card with a value in columns 11-30 and a comment, as the host writes the data's own cards.
std::string FixedCard(const char* keyword, const char* value, const char* comment) {
    char card[96];
    std::snprintf(card, sizeof card, "%-8s= %20s / %s", keyword, value, comment);
    return std::string(card).substr(0, 80);
}

std::string AnswerText(const sim::Value& answer) {
    if (answer.type != sim::VarType::Object) return answer.ToString();
    return answer.object == 0 ? "Object (the image list)" : "Object (image " + std::to_string(answer.object) + ")";
}

std::string Hex(int32_t number) {
    char text[16];
    std::snprintf(text, sizeof text, number < 0 ? "0x%08X" : "%d", static_cast<unsigned>(number));
    return text;
}

// "  2:05  Camera.SensorTemperature get  ->  R8 -19.93"
std::string LogLine(const sim::CallRecord& call, double started) {
    const int seconds = static_cast<int>(std::max(0.0, call.seconds - started));
    char time[24];
    std::snprintf(time, sizeof time, "%3d:%02d  ", seconds / 60, seconds % 60);
    std::string outcome = "\u2026";
    if (call.failure) {
        outcome = "failed " + Hex(call.failure->Number()) + " " + call.failure->Description();
    } else if (call.answer) {
        const bool answers = call.kind == sim::CallKind::Get;
        outcome = answers ? AnswerText(*call.answer) : "OK";
    }
    return time + call.ToString() + "  \u2192  " + outcome;
}

// The keyword of a card: its first eight columns, without the padding.
std::string KeywordOf(const std::string& card) { return Trimmed(card.substr(0, std::min<size_t>(8, card.size()))); }

void SetFont(HWND control, HFONT font) { SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE); }

// The "Add image" dialog, from a template in memory.
class ImageNameDialog {
public:
    static bool Ask(HWND owner, std::wstring& name) {
        std::vector<WORD> t;
        auto dword = [&](DWORD v) {
            t.push_back(LOWORD(v));
            t.push_back(HIWORD(v));
        };
        auto text = [&](const wchar_t* s) {
            for (; *s; ++s) t.push_back(*s);
            t.push_back(0);
        };
        auto item = [&](DWORD style, short x, short y, short cx, short cy, WORD id, WORD atom, const wchar_t* caption) {
            if (t.size() % 2) t.push_back(0);  // items start on a DWORD boundary
            dword(style | WS_CHILD | WS_VISIBLE);
            dword(0);
            for (short v : {x, y, cx, cy}) t.push_back(static_cast<WORD>(v));
            t.push_back(id);
            t.push_back(0xFFFF);
            t.push_back(atom);
            text(caption);
            t.push_back(0);
        };
        dword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
        dword(0);
        t.push_back(4);
        for (short v : {0, 0, 230, 64}) t.push_back(static_cast<WORD>(v));
        t.push_back(0);
        t.push_back(0);
        text(L"Add image");
        t.push_back(8);
        text(L"MS Shell Dlg");
        item(SS_LEFT, 7, 9, 60, 10, 0xFFFF, 0x0082, L"Image &name:");
        item(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 68, 7, 155, 13, kNameId, 0x0081, L"");
        item(BS_DEFPUSHBUTTON | WS_TABSTOP, 118, 42, 50, 14, IDOK, 0x0080, L"Add");
        item(BS_PUSHBUTTON | WS_TABSTOP, 173, 42, 50, 14, IDCANCEL, 0x0080, L"Cancel");
        return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE*>(t.data()), owner, Proc,
                                       reinterpret_cast<LPARAM>(&name)) == IDOK;
    }

private:
    static constexpr WORD kNameId = 100;

    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        try {
            if (message == WM_INITDIALOG) {
                SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
                SetDlgItemTextW(dialog, kNameId, reinterpret_cast<std::wstring*>(lParam)->c_str());
                SendDlgItemMessageW(dialog, kNameId, EM_SETSEL, 0, -1);
                return TRUE;
            }
            if (message != WM_COMMAND) return FALSE;
            if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
            if (LOWORD(wParam) != IDOK) return TRUE;
            auto* name = reinterpret_cast<std::wstring*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
            wchar_t text[256] = {};
            GetDlgItemTextW(dialog, kNameId, text, 256);
            if (!*text) {
                MessageBeep(MB_ICONWARNING);
                return TRUE;
            }
            *name = text;
            EndDialog(dialog, IDOK);
            return TRUE;
        } catch (...) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
    }
};

}  // namespace

HostWindow::HostWindow(sim::SimHost& host, sim::SimClock& clock, PlugInEntry plugIn)
    : host_(host), clock_(clock), plugIn_(std::move(plugIn)), started_(clock.Seconds()) {}

HostWindow::~HostWindow() {
    panel_.reset();
    if (window_) DestroyWindow(window_);
    if (font_) DeleteObject(font_);
    if (fixedFont_) DeleteObject(fixedFont_);
}

HWND HostWindow::Create() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass);
    WNDCLASSW chartClass = windowClass;
    chartClass.lpfnWndProc = ChartProc;
    chartClass.hbrBackground = nullptr;
    chartClass.lpszClassName = kChartClass;
    RegisterClassW(&chartClass);

    HDC screen = GetDC(nullptr);
    scale_ = GetDeviceCaps(screen, LOGPIXELSY) / 96.0;
    ReleaseDC(nullptr, screen);

    HMENU menu = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, kAddImage, L"&Add image...");
    AppendMenuW(file, MF_STRING, kCloseImage, L"&Close image");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, kExit, L"E&xit");
    HMENU plugIns = CreatePopupMenu();
    AppendMenuW(plugIns, MF_STRING | (plugIn_.show ? 0 : MF_GRAYED), kPlugIn, plugIn_.name.c_str());
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(plugIns), L"&Plug-ins");

    RECT work{0, 0, 1280, 1024};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int panelWidth = static_cast<int>(300 * scale_);
    const int width = std::min(static_cast<int>(940 * scale_), static_cast<int>(work.right - work.left) - panelWidth - 24);
    const int height = std::min(static_cast<int>(900 * scale_), static_cast<int>(work.bottom - work.top) - 16);
    window_ = CreateWindowExW(0, kWindowClass, L"Stand-in Host \u2013 simulated camera and images", WS_OVERLAPPEDWINDOW,
                              work.left + 8, work.top + 8, std::max(width, 400), height, nullptr, menu, instance, this);
    if (!window_) return nullptr;
    RECT frame;
    GetWindowRect(window_, &frame);
    panel_ = std::make_unique<CameraPanel>(window_, POINT{frame.right + 8, frame.top}, scale_);
    Refresh();
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    return window_;
}

LRESULT CALLBACK HostWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    try {
        if (self) return self->Handle(window, message, wParam, lParam);
    } catch (...) {
        // The host's own window outlives anything that goes wrong in one of its views.
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK HostWindow::ChartProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_PAINT) {
            auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(GetParent(window), GWLP_USERDATA));
            if (self) {
                self->PaintChart(window);
                return 0;
            }
        }
        if (message == WM_ERASEBKGND) return 1;  // painted whole, from a buffer
    } catch (...) {
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT HostWindow::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        window_ = window;
        CreateChildren(window);
        SetTimer(window, kRefreshTimer, 1000, nullptr);
        return 0;
    case WM_SIZE:
        Layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_GETMINMAXINFO: {
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize = {static_cast<LONG>(560 * scale_), static_cast<LONG>(480 * scale_)};
        return 0;
    }
    case WM_TIMER:
        if (wParam == kRefreshTimer) Refresh();
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_INITMENUPOPUP:
        EnableMenuItem(GetMenu(window), kCloseImage, MF_BYCOMMAND | (SelectedImage() >= 0 ? MF_ENABLED : MF_GRAYED));
        return 0;
    case kSwitchMessage:
        if (wParam < kSwitchCount) ApplySwitch(static_cast<Switch>(wParam), lParam != 0);
        return 0;
    case WM_MEASUREITEM: {
        auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        HDC dc = GetDC(window);
        HGDIOBJ old = SelectObject(dc, fixedFont_);
        TEXTMETRICW metrics;
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, old);
        ReleaseDC(window, dc);
        item->itemHeight = static_cast<UINT>(metrics.tmHeight + 2);
        return TRUE;
    }
    case WM_DRAWITEM:
        DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_DESTROY:
        KillTimer(window, kRefreshTimer);
        window_ = nullptr;
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void HostWindow::CreateChildren(HWND window) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    font_ = CreateFontIndirectW(&metrics.lfMessageFont);
    fixedFont_ = CreateFontW(-static_cast<int>(std::lround(12 * scale_)), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             FIXED_PITCH | FF_MODERN, L"Courier New");
    auto child = [&](const wchar_t* cls, DWORD style, DWORD exStyle, int id, HFONT font) {
        HWND control = CreateWindowExW(exStyle, cls, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        SetFont(control, font);
        return control;
    };
    chartView_ = child(kChartClass, 0, WS_EX_CLIENTEDGE, 0, font_);
    imagesTitle_ = child(L"Static", SS_LEFT | SS_NOPREFIX, 0, 0, font_);
    headerTitle_ = child(L"Static", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, 0, font_);
    logTitle_ = child(L"Static", SS_LEFT | SS_NOPREFIX, 0, 0, font_);
    SetWindowTextW(imagesTitle_, L"Open images");
    SetWindowTextW(logTitle_, L"Calls the plug-in made on the host: arguments with their automation types, and the answer");
    images_ = child(L"ListBox", WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, WS_EX_CLIENTEDGE, kImageListId,
                    font_);
    const DWORD ownerDrawn = WS_VSCROLL | WS_HSCROLL | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | LBS_NOSEL;
    header_ = child(L"ListBox", ownerDrawn, WS_EX_CLIENTEDGE, 0, fixedFont_);
    log_ = child(L"ListBox", ownerDrawn, WS_EX_CLIENTEDGE, 0, fixedFont_);
    // Wide enough for a card and the note beside it, or a long log line, before scrolling.
    SendMessageW(header_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(900 * scale_), 0);
    SendMessageW(log_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(1100 * scale_), 0);
}

void HostWindow::Layout(int width, int height) {
    if (!chartView_) return;
    const int pad = static_cast<int>(8 * scale_);
    const int title = static_cast<int>(18 * scale_);
    const int listWidth = static_cast<int>(180 * scale_);
    const int chartHeight = std::max(static_cast<int>(200 * scale_), height * 46 / 100);
    const int rest = std::max(0, height - chartHeight - 2 * pad);
    const int headerHeight = rest * 52 / 100;
    const int logTop = pad + chartHeight + headerHeight + pad;
    MoveWindow(chartView_, pad, pad, width - 2 * pad, chartHeight - pad, TRUE);
    const int row = pad + chartHeight;
    MoveWindow(imagesTitle_, pad, row, listWidth, title, TRUE);
    MoveWindow(images_, pad, row + title, listWidth, headerHeight - title, TRUE);
    MoveWindow(headerTitle_, 2 * pad + listWidth, row, width - 3 * pad - listWidth, title, TRUE);
    MoveWindow(header_, 2 * pad + listWidth, row + title, width - 3 * pad - listWidth, headerHeight - title, TRUE);
    MoveWindow(logTitle_, pad, logTop, width - 2 * pad, title, TRUE);
    MoveWindow(log_, pad, logTop + title, width - 2 * pad, std::max(0, height - logTop - title - pad), TRUE);
}

void HostWindow::OnCommand(WORD id, WORD code) {
    if (id == kImageListId) {
        if (code == LBN_SELCHANGE) ShowHeader();
        return;
    }
    switch (id) {
    case kAddImage: AskForImage(); break;
    case kCloseImage: CloseSelectedImage(); break;
    case kExit: DestroyWindow(window_); break;
    case kPlugIn: ShowPlugIn(); break;
    default: break;
    }
}

void HostWindow::ShowPlugIn() {
    Refresh();
    lastPlugInResult_ = plugIn_.show ? plugIn_.show(SelectedImage() + 1) : E_NOINTERFACE;
    Refresh();
    if (FAILED(lastPlugInResult_) && !quiet_ && window_) {
        wchar_t text[160];
        swprintf(text, 160, L"The plug-in failed (0x%08lX).", static_cast<unsigned long>(lastPlugInResult_));
        MessageBoxW(window_, text, L"Stand-in Host", MB_OK | MB_ICONERROR);
    }
}

void HostWindow::AskForImage() {
    std::wstring name = L"M42_L_001.fit";
    if (!ImageNameDialog::Ask(window_, name)) return;
    AddImage(ToUtf8(name));
    Refresh();
    SelectImage(static_cast<int>(host_.documents.size()) - 1);
}

void HostWindow::AddImage(const std::string& name) {
    host_.AddDocument(name);
    sim::FitsHeader& header = host_.documents.back().header;
    // What a capture leaves, written by the host itself (so not in the plug-in's call log):
    // the object and filter from a name like "M31_L_001.fit".
    const size_t object = name.find('_');
    const size_t filter = object == std::string::npos ? object : name.find('_', object + 1);
    header.Set("OBJECT", Upper(name.substr(0, std::min(object, name.find('.')))));
    header.Set("EXPTIME", 300.0);
    if (filter != std::string::npos) header.Set("FILTER", name.substr(object + 1, filter - object - 1));
    header.Set("INSTRUME", std::string("Simulated CCD"));
}

void HostWindow::CloseSelectedImage() {
    const int position = SelectedImage();
    if (position < 0 || position >= static_cast<int>(host_.documents.size())) return;
    host_.documents.erase(host_.documents.begin() + position);
    Refresh();
}

void HostWindow::SelectImage(int position) {
    SendMessageW(images_, LB_SETCURSEL, static_cast<WPARAM>(position), 0);
    ShowHeader();
}

int HostWindow::SelectedImage() const {
    return images_ ? static_cast<int>(SendMessageW(images_, LB_GETCURSEL, 0, 0)) : -1;
}

void HostWindow::ApplySwitch(Switch which, bool on) {
    auto arm = [&](const char* calls, int32_t number, const char* description) {
        auto& faults = host_.faults;
        faults.erase(std::remove_if(faults.begin(), faults.end(), [&](const sim::Fault& f) { return f.operation == calls; }),
                     faults.end());
        if (on) host_.FailOn(calls, number, description);
    };
    sim::SimCameraState& camera = host_.camera;
    switch (which) {
    case Switch::NextCameraCallFails:
        arm(kCameraCalls, kCameraFault, "The camera did not answer (a fault switched on in the stand-in host)");
        break;
    case Switch::NextImageCallFails:
        arm(kImageCalls, kImageFault, "The image is not available (a fault switched on in the stand-in host)");
        break;
    case Switch::RefuseLink:
        camera.refuseLink = on;
        // As if the cable were pulled: a link that is up drops, and the cooler with it.
        if (on) {
            host_.AdvanceCooler();
            camera.connected = false;
            camera.coolerOn = false;
        }
        break;
    case Switch::ForbidSetpoint:
        camera.setpointAllowed = !on;
        break;
    }
    Refresh();
}

void HostWindow::Poll() {
    host_.AdvanceCooler();
    callsSeen_ = std::min(callsSeen_, host_.calls.size());
    bool added = false;
    for (; callsSeen_ < host_.calls.size(); ++callsSeen_) {
        const sim::CallRecord& call = host_.calls[callsSeen_];
        chart_.Observe(call);
        // The image a keyword went to, by name: positions change as images close.
        if (call.member == "SetFITSKey" && call.answer && call.object.rfind("Document(", 0) == 0 && !call.args.empty()) {
            const size_t position = std::strtoul(call.object.c_str() + 9, nullptr, 10);
            if (position >= 1 && position <= host_.documents.size())
                written_.insert({host_.documents[position - 1].displayName, Upper(call.args[0].text)});
        }
        if (log_) {
            const LRESULT at = SendMessageW(log_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(LogLine(call, started_)).c_str()));
            if (at >= 0) SendMessageW(log_, LB_SETITEMDATA, static_cast<WPARAM>(at), call.failure ? kFailedMark : 0);
            added = true;
        }
    }
    if (added) {
        const LRESULT count = SendMessageW(log_, LB_GETCOUNT, 0, 0);
        SendMessageW(log_, LB_SETTOPINDEX, static_cast<WPARAM>(std::max<LRESULT>(0, count - 1)), 0);
    }
    chart_.Sample(clock_.Seconds(), host_.camera);
}

void HostWindow::StopRefreshTimer() {
    if (window_) KillTimer(window_, kRefreshTimer);
}

void HostWindow::Refresh() {
    Poll();
    if (!window_) return;
    ShowImages();
    ShowHeader();
    PublishCamera();
    InvalidateRect(chartView_, nullptr, FALSE);
}

void HostWindow::ShowImages() {
    std::vector<std::string> names;
    for (const sim::SimDocument& document : host_.documents) names.push_back(document.displayName);
    if (names == shownImages_) return;
    const int selected = SelectedImage();
    const std::string keep = selected >= 0 && selected < static_cast<int>(shownImages_.size()) ? shownImages_[selected] : "";
    SendMessageW(images_, LB_RESETCONTENT, 0, 0);
    int reselect = -1;
    for (size_t i = 0; i < names.size(); ++i) {
        SendMessageW(images_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(names[i]).c_str()));
        if (names[i] == keep && reselect < 0) reselect = static_cast<int>(i);
    }
    if (reselect < 0 && !names.empty()) reselect = 0;
    SendMessageW(images_, LB_SETCURSEL, static_cast<WPARAM>(reselect), 0);
    shownImages_ = std::move(names);
}

void HostWindow::ShowHeader() {
    const int position = SelectedImage();
    std::vector<std::string> cards;
    std::string name;
    if (position >= 0 && position < static_cast<int>(host_.documents.size())) {
        const sim::SimDocument& document = host_.documents[position];
        name = document.displayName;
        cards = {FixedCard("SIMPLE", "T", "file conforms to the FITS standard"),
                 FixedCard("BITPIX", "16", "16-bit integers"), FixedCard("NAXIS", "2", "two axes"),
                 FixedCard("NAXIS1", "3326", "width in pixels"), FixedCard("NAXIS2", "2504", "height in pixels")};
        for (const std::string& card : document.header.Cards()) cards.push_back(card);
        cards.push_back("END");
    }
    // A card is highlighted when the plug-in wrote its keyword into this image.
    std::vector<std::string> shown = cards;
    for (std::string& line : shown)
        if (written_.count({name, KeywordOf(line)})) line = "*" + line;
    SetWindowTextW(headerTitle_, ToWide(name.empty() ? "FITS header (no image open)"
                                                     : "FITS header of " + name + " (80-column cards; highlighted: written by the plug-in)")
                                     .c_str());
    if (shown == shownHeader_) return;
    SendMessageW(header_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(header_, LB_RESETCONTENT, 0, 0);
    for (size_t i = 0; i < cards.size(); ++i) {
        const LRESULT at = SendMessageW(header_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(cards[i]).c_str()));
        if (at >= 0) SendMessageW(header_, LB_SETITEMDATA, static_cast<WPARAM>(at), shown[i][0] == '*' ? kWrittenMark : 0);
    }
    // The first card the plug-in wrote is scrolled into view.
    const auto written = std::find_if(shown.begin(), shown.end(), [](const std::string& line) { return line[0] == '*'; });
    if (written != shown.end()) SendMessageW(header_, LB_SETTOPINDEX, static_cast<WPARAM>(written - shown.begin()), 0);
    SendMessageW(header_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(header_, nullptr, TRUE);
    shownHeader_ = std::move(shown);
}

void HostWindow::PublishCamera() {
    if (!panel_) return;
    const sim::SimCameraState& c = host_.camera;
    CameraPanelState state;
    const std::wstring degrees = L" \u00B0C";
    state.values[0] = c.connected ? L"linked" : L"not linked";
    state.values[1] = c.coolerOn ? L"on" : L"off";
    state.values[2] = ToWide(SetpointText(c.setpoint)) + degrees;
    state.values[3] = ToWide(Degrees(c.temperature)) + degrees + L" (ambient " + ToWide(Degrees(c.cooler.ambient)) + degrees + L")";
    state.values[4] = ToWide(Signed(c.coolerOn ? c.coolerPower * 100 : 0, 0)) + L" %";
    const size_t split = c.autoSaveName.find_last_of('\\');
    state.values[5] = c.autoSaveName.empty() ? L"(none)" : ToWide(split == std::string::npos ? "" : c.autoSaveName.substr(0, split + 1));
    state.values[6] = c.autoSaveName.empty() ? L"(none)" : ToWide(c.autoSaveName.substr(split == std::string::npos ? 0 : split + 1));
    state.values[7] = c.autoSaveName.empty() ? L"\u2013" : std::to_wstring(c.autoSaveStart);
    auto armed = [&](const char* calls) {
        return std::any_of(host_.faults.begin(), host_.faults.end(), [&](const sim::Fault& f) { return f.operation == calls; });
    };
    state.switches = {armed(kCameraCalls), armed(kImageCalls), c.refuseLink, !c.setpointAllowed};
    panel_->Publish(state);
}

void HostWindow::PaintChart(HWND chart) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(chart, &paint);
    RECT area;
    GetClientRect(chart, &area);
    // Drawn off screen first, so that a redraw once a second does not flicker.
    HDC buffer = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, std::max<LONG>(1, area.right), std::max<LONG>(1, area.bottom));
    HGDIOBJ old = SelectObject(buffer, bitmap);
    DrawChart(buffer, area, chart_, font_, scale_);
    BitBlt(dc, 0, 0, area.right, area.bottom, buffer, 0, 0, SRCCOPY);
    SelectObject(buffer, old);
    DeleteObject(bitmap);
    DeleteDC(buffer);
    EndPaint(chart, &paint);
}

void HostWindow::DrawItem(const DRAWITEMSTRUCT& item) {
    if (item.itemID == static_cast<UINT>(-1)) return;
    HWND list = item.hwndItem;
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, item.itemID, 0);
    std::wstring text(static_cast<size_t>(std::max<LRESULT>(0, length)) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::max<LRESULT>(0, length)));
    const bool marked = SendMessageW(list, LB_GETITEMDATA, item.itemID, 0) != 0;
    const bool header = list == header_;
    HDC dc = item.hDC;
    RECT line = item.rcItem;
    const COLORREF back = header && marked ? kWrittenCard : GetSysColor(COLOR_WINDOW);
    HBRUSH brush = CreateSolidBrush(back);
    FillRect(dc, &line, brush);
    DeleteObject(brush);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, !header && marked ? kFailedCall : GetSysColor(COLOR_WINDOWTEXT));
    const int indent = static_cast<int>(3 * scale_);
    TextOutW(dc, line.left + indent, line.top + 1, text.c_str(), static_cast<int>(text.size()));
    if (header && marked) {
        // The note sits right of the 80 columns, outside the card itself.
        SIZE column{};
        GetTextExtentPoint32W(dc, L"0", 1, &column);
        SetTextColor(dc, RGB(110, 80, 0));
        const wchar_t note[] = L"\u25C0 plug-in";
        TextOutW(dc, line.left + indent + 81 * column.cx, line.top + 1, note, static_cast<int>(std::size(note) - 1));
    }
}

}  // namespace starwright::demo
