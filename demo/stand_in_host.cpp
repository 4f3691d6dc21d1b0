// A small stand-in for the host application: it serves the simulated camera and application
// under the host's class identifiers, opens a few images, and calls the plug-in from its
// "Plug-ins" menu with the active image, as the real host does. Its own window shows the
// camera's state and the images' FITS headers, refreshed every second.
//
//   stand_in_host.exe                 interactive
//   stand_in_host.exe --tour FOLDER   unattended: shows each tool, saves a picture of each to
//                                     FOLDER and writes FOLDER\tour.txt

#include <windows.h>
#include <shellapi.h>
#include <wrl/client.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "demo/screenshot_tour.h"
#include "host/com/host_ids.h"
#include "host/sim/com/sim_com_server.h"
#include "host/sim/sim_host.h"

using Microsoft::WRL::ComPtr;
using namespace starwright;

namespace {

constexpr UINT kMenuPlugIn = 100;
constexpr UINT kMenuExit = 101;
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kStartTour = WM_APP + 1;

// The host's application class, through which the active image is found.
using com::host_ids::kApplicationClass;

class RealClock final : public sim::SimClock {
public:
    double Seconds() override {
        LARGE_INTEGER frequency, counter;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&counter);
        return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
    }
};

struct StandInHost {
    std::unique_ptr<sim::SimClock> clock;
    std::unique_ptr<sim::SimHost> host;
    ComPtr<IDispatch> plugIn;
    std::wstring plugInName = L"(no plug-in)";
    HWND status = nullptr;
    std::unique_ptr<demo::Tour> tour;
};

StandInHost app;

std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size())));
    return wide;
}

HRESULT InvokeByName(IDispatch* object, const wchar_t* member, WORD flags, VARIANT* args, UINT count, VARIANT* result) {
    DISPID id;
    LPOLESTR name = const_cast<LPOLESTR>(member);
    HRESULT hr = object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS params{args, nullptr, count, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

HRESULT InvokeById(IDispatch* object, DISPID id, WORD flags, VARIANT* args, UINT count, VARIANT* result) {
    DISPPARAMS params{args, nullptr, count, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

// The host's own type library, which the plug-in's DoModal refers to for its parameter type.
void RegisterHostTypeLibrary() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring library(path);
    library.resize(library.find_last_of(L"\\/") + 1);
    library += L"MaxIm_DL.exe";
    ComPtr<ITypeLib> typeLib;
    LoadTypeLibEx(library.c_str(), REGKIND_REGISTER, &typeLib);
}

// Creates the plug-in the way the host does, through its programmatic identifier.
HRESULT LoadPlugIn() {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"Starwright.PlugIn", &clsid);
    if (FAILED(hr)) return hr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&app.plugIn));
    if (FAILED(hr)) return hr;
    VARIANT name;
    VariantInit(&name);
    hr = InvokeByName(app.plugIn.Get(), L"Name", DISPATCH_PROPERTYGET, nullptr, 0, &name);
    if (SUCCEEDED(hr) && name.vt == VT_BSTR) app.plugInName = name.bstrVal;
    VariantClear(&name);
    return hr;
}

// The active image: the first open document, as the host's own automation lists them.
ComPtr<IDispatch> ActiveDocument() {
    ComPtr<IDispatch> application;
    if (FAILED(CoCreateInstance(kApplicationClass, nullptr, CLSCTX_SERVER, IID_PPV_ARGS(&application)))) return nullptr;
    VARIANT documents, document;
    VariantInit(&documents);
    VariantInit(&document);
    ComPtr<IDispatch> result;
    if (SUCCEEDED(InvokeById(application.Get(), com::host_ids::application::kDocuments, DISPATCH_PROPERTYGET, nullptr, 0, &documents)) &&
        documents.vt == VT_DISPATCH && documents.pdispVal) {
        VARIANT index;
        index.vt = VT_I2;
        index.iVal = 1;
        if (SUCCEEDED(InvokeById(documents.pdispVal, com::host_ids::document_list::kItem, DISPATCH_PROPERTYGET, &index, 1, &document)) &&
            document.vt == VT_DISPATCH)
            result = document.pdispVal;
    }
    VariantClear(&document);
    VariantClear(&documents);
    return result;
}

HRESULT ShowPlugIn() {
    if (!app.plugIn) return E_NOINTERFACE;
    ComPtr<IDispatch> document = ActiveDocument();
    VARIANT arg;
    arg.vt = VT_DISPATCH;
    arg.pdispVal = document.Get();
    return InvokeByName(app.plugIn.Get(), L"DoModal", DISPATCH_METHOD, &arg, 1, nullptr);
}

void RefreshStatus() {
    if (!app.status) return;
    app.host->AdvanceCooler();
    const sim::SimCameraState& c = app.host->camera;
    wchar_t line[256];
    std::vector<std::wstring> lines;
    swprintf(line, 256, L"Camera: %ls, cooler %ls, set-point %.2f C, sensor %.1f C (ambient %.1f C)",
             c.connected ? L"linked" : L"not linked", c.coolerOn ? L"on" : L"off", c.setpoint, c.temperature, c.cooler.ambient);
    lines.push_back(line);
    lines.push_back(L"Auto-save: " + (c.autoSaveName.empty() ? std::wstring(L"(none)") : Wide(c.autoSaveName)) +
                    L", numbering from " + std::to_wstring(c.autoSaveStart));
    lines.push_back(L"Open images:");
    for (const auto& document : app.host->documents) {
        lines.push_back(L"  " + Wide(document.displayName));
        for (const auto& card : document.header.Cards()) lines.push_back(L"      " + Wide(card));
    }
    SendMessageW(app.status, WM_SETREDRAW, FALSE, 0);
    SendMessageW(app.status, LB_RESETCONTENT, 0, 0);
    for (const auto& text : lines) SendMessageW(app.status, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(app.status, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(app.status, nullptr, TRUE);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        switch (message) {
        case WM_CREATE:
            app.status = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", nullptr,
                                         WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL, 0, 0, 0, 0,
                                         window, nullptr, nullptr, nullptr);
            SendMessageW(app.status, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), TRUE);
            SetTimer(window, kRefreshTimer, 1000, nullptr);
            RefreshStatus();
            return 0;
        case WM_SIZE:
            MoveWindow(app.status, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            return 0;
        case WM_TIMER:
            if (wParam == kRefreshTimer) RefreshStatus();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kMenuExit) DestroyWindow(window);
            if (LOWORD(wParam) == kMenuPlugIn) {
                HRESULT hr = ShowPlugIn();
                RefreshStatus();
                if (FAILED(hr) && app.tour) {
                    char text[64];
                    std::snprintf(text, sizeof text, "DoModal failed (0x%08lX)", static_cast<unsigned long>(hr));
                    app.tour->failure = text;
                }
                if (FAILED(hr) && !app.tour) {
                    wchar_t text[128];
                    swprintf(text, 128, L"The plug-in failed (0x%08lX).", static_cast<unsigned long>(hr));
                    MessageBoxW(window, text, L"Stand-in Host", MB_OK | MB_ICONERROR);
                }
            }
            return 0;
        case kStartTour:
            demo::StartTour(*app.tour);
            SendMessageW(window, WM_COMMAND, kMenuPlugIn, 0);
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        }
    } catch (...) {
        // The host's own window must outlive anything that goes wrong in a refresh.
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateMainWindow(HINSTANCE instance) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"StarwrightStandInHost";
    RegisterClassW(&windowClass);

    HMENU menu = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, kMenuExit, L"E&xit");
    HMENU plugIns = CreatePopupMenu();
    AppendMenuW(plugIns, MF_STRING | (app.plugIn ? 0 : MF_GRAYED), kMenuPlugIn, app.plugInName.c_str());
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(plugIns), L"&Plug-ins");
    return CreateWindowExW(0, windowClass.lpszClassName, L"Stand-in Host (simulated camera and images)",
                           WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 760, 420, nullptr, menu, instance, nullptr);
}

int Run(HINSTANCE instance, const std::wstring& tourFolder) {
    if (tourFolder.empty()) {
        app.clock = std::make_unique<RealClock>();
    } else {
        app.clock = std::make_unique<sim::ManualClock>();
    }
    app.host = std::make_unique<sim::SimHost>(app.clock.get());
    app.host->camera.cooler = {18.0, 38.0, 60.0};  // a warm night: -50 is out of reach
    app.host->camera.temperature = 18.0;
    for (const char* name : {"M31_L_001.fit", "M31_L_002.fit", "NGC7000_Ha_001.fit"}) app.host->AddDocument(name);

    RegisterHostTypeLibrary();
    sim::SimComServer server(*app.host);
    if (FAILED(server.Register())) return 3;
    const HRESULT loaded = LoadPlugIn();
    if (!tourFolder.empty()) {
        if (FAILED(loaded)) {
            std::fprintf(stderr, "stand-in host: could not create Starwright.PlugIn (0x%08lX)\n", static_cast<unsigned long>(loaded));
            return 4;
        }
        app.tour = std::make_unique<demo::Tour>(demo::Tour{*app.host, static_cast<sim::ManualClock&>(*app.clock), tourFolder});
    }

    HWND window = CreateMainWindow(instance);
    if (app.tour) PostMessageW(window, kStartTour, 0, 0);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    app.plugIn.Reset();

    if (!app.tour) return 0;
    std::ofstream report(std::filesystem::path(tourFolder) / "tour.txt");
    report << "plug-in: " << std::string(app.plugInName.begin(), app.plugInName.end()) << "\n";
    for (const auto& line : app.tour->report) report << line << "\n";
    for (const auto& shot : app.tour->shots) report << "picture: " << std::filesystem::path(shot).filename().string() << "\n";
    if (!app.tour->failure.empty()) report << "failed: " << app.tour->failure << "\n";
    return app.tour->finished && app.tour->failure.empty() ? 0 : 5;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring tourFolder;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::wstring(argv[i]) == L"--tour") tourFolder = argv[i + 1];
    LocalFree(argv);

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int status = 1;
    try {
        status = Run(instance, tourFolder);
    } catch (...) {
        status = 1;
    }
    app = StandInHost{};
    CoUninitialize();
    return status;
}
