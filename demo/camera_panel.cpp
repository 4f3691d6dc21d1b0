#include "demo/camera_panel.h"

namespace starwright::demo {

namespace {

constexpr wchar_t kClass[] = L"StarwrightStandInCameraPanel";
constexpr UINT kStateMessage = WM_APP + 1;
constexpr int kFirstSwitchId = 200;

constexpr const wchar_t* kValueNames[] = {L"Link",   L"Cooler",           L"Set-point",   L"Sensor",
                                          L"Power",  L"Auto-save folder", L"Auto-save name", L"Numbering from"};
constexpr const wchar_t* kSwitchNames[] = {L"Next camera call fails", L"Next image call fails", L"Refuse the link",
                                           L"Forbid the set-point"};

}  // namespace

CameraPanel::CameraPanel(HWND host, POINT at, double scale) : host_(host), scale_(scale) {
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this, at, scale] { Run(at, scale); });
    // The window exists before the constructor returns, so that Publish always has a target.
    WaitForSingleObject(ready_, 10000);
}

CameraPanel::~CameraPanel() {
    if (window_) PostMessageW(window_, WM_CLOSE, 0, 0);
    if (thread_.joinable()) thread_.join();
    CloseHandle(ready_);
}

HWND CameraPanel::SwitchBox(Switch which) const { return switches_[static_cast<size_t>(which)]; }

void CameraPanel::Publish(const CameraPanelState& state) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = state;
    }
    if (window_) PostMessageW(window_, kStateMessage, 0, 0);
}

void CameraPanel::Run(POINT at, double scale) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClass;
    RegisterClassW(&windowClass);
    const int width = static_cast<int>(300 * scale), height = static_cast<int>(330 * scale);
    // A tool window, so that it stays out of the task bar; no owner, so that the host's
    // thread and this one keep separate input queues.
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, kClass, L"Simulated camera", WS_CAPTION | WS_VISIBLE, at.x, at.y, width,
                                  height, nullptr, nullptr, windowClass.hInstance, this);
    window_ = window;
    SetEvent(ready_);
    if (!window) return;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

LRESULT CALLBACK CameraPanel::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* panel = reinterpret_cast<CameraPanel*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    try {
        if (panel) return panel->Handle(window, message, wParam, lParam);
    } catch (...) {
        // A panel that cannot show its state is no reason to end the host.
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void CameraPanel::Create(HWND window) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    font_ = CreateFontIndirectW(&metrics.lfMessageFont);
    auto px = [this](int v) { return static_cast<int>(v * scale_); };
    auto make = [&](const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id) {
        HWND control = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, px(x), px(y), px(w), px(h), window,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        return control;
    };
    make(L"Button", L"Camera", BS_GROUPBOX, 8, 4, 276, 178, -1);
    for (int i = 0; i < 8; ++i) {
        make(L"Static", (std::wstring(kValueNames[i]) + L":").c_str(), SS_LEFT, 18, 22 + i * 19, 112, 17, -1);
        values_[i] = make(L"Static", L"", SS_LEFT | SS_ENDELLIPSIS | SS_NOPREFIX, 132, 22 + i * 19, 146, 17, -1);
    }
    make(L"Button", L"Faults on demand", BS_GROUPBOX, 8, 190, 276, 108, -1);
    for (int i = 0; i < kSwitchCount; ++i)
        switches_[i] = make(L"Button", kSwitchNames[i], BS_AUTOCHECKBOX | WS_TABSTOP, 18, 208 + i * 22, 256, 20,
                            kFirstSwitchId + i);
}

void CameraPanel::Show() {
    CameraPanelState state;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state = state_;
    }
    for (size_t i = 0; i < values_.size(); ++i) SetWindowTextW(values_[i], state.values[i].c_str());
    for (size_t i = 0; i < switches_.size(); ++i)
        SendMessageW(switches_[i], BM_SETCHECK, state.switches[i] ? BST_CHECKED : BST_UNCHECKED, 0);
}

LRESULT CameraPanel::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        Create(window);
        return 0;
    case kStateMessage:
        Show();
        return 0;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (HIWORD(wParam) == BN_CLICKED && id >= kFirstSwitchId && id < kFirstSwitchId + kSwitchCount) {
            const bool on = SendMessageW(reinterpret_cast<HWND>(lParam), BM_GETCHECK, 0, 0) == BST_CHECKED;
            PostMessageW(host_, kSwitchMessage, static_cast<WPARAM>(id - kFirstSwitchId), on ? 1 : 0);
        }
        return 0;
    }
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        DeleteObject(font_);
        font_ = nullptr;
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace starwright::demo
