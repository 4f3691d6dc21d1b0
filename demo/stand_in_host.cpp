// A stand-in for the host application: it serves the simulated camera and application under
// the host's class identifiers, opens a few images, and calls the plug-in from its "Plug-ins"
// menu with the picked image, as the real host does. It knows the plug-in only as a COM class
// ("Starwright.PlugIn": Name, DoModal) and, for the unattended tour, as a window.
//
//   stand_in_host.exe                 interactive
//   stand_in_host.exe --tour FOLDER   unattended: runs the tour, saves its pictures to FOLDER
//                                     and writes FOLDER\tour.txt

#include <windows.h>
#include <shellapi.h>
#include <wrl/client.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "demo/host_library.h"
#include "demo/host_window.h"
#include "demo/screenshot_tour.h"
#include "host/com/host_ids.h"
#include "host/sim/com/sim_com_server.h"
#include "host/sim/sim_host.h"
#include "platform/text_win.h"

using Microsoft::WRL::ComPtr;
using namespace starwright;

namespace {

class RealClock final : public sim::SimClock {
public:
    double Seconds() override {
        LARGE_INTEGER frequency, counter;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&counter);
        return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
    }
};

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

std::wstring BesideProgram(const wchar_t* file) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder + file;
}

struct PlugIn {
    ComPtr<IDispatch> object;
    std::wstring name = L"(no plug-in)";
};

// Creates the plug-in the way the host does, through its programmatic identifier.
HRESULT LoadPlugIn(PlugIn& plugIn) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"Starwright.PlugIn", &clsid);
    if (FAILED(hr)) return hr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&plugIn.object));
    if (FAILED(hr)) return hr;
    VARIANT name;
    VariantInit(&name);
    hr = InvokeByName(plugIn.object.Get(), L"Name", DISPATCH_PROPERTYGET, nullptr, 0, &name);
    if (SUCCEEDED(hr) && name.vt == VT_BSTR) plugIn.name = name.bstrVal;
    VariantClear(&name);
    return hr;
}

// The image at a 1-based position, as the host's own automation lists them.
ComPtr<IDispatch> Image(int position) {
    ComPtr<IDispatch> application;
    if (position < 1 || FAILED(CoCreateInstance(com::host_ids::kApplicationClass, nullptr, CLSCTX_SERVER, IID_PPV_ARGS(&application))))
        return nullptr;
    VARIANT documents, document;
    VariantInit(&documents);
    VariantInit(&document);
    ComPtr<IDispatch> result;
    if (SUCCEEDED(InvokeById(application.Get(), com::host_ids::application::kDocuments, DISPATCH_PROPERTYGET, nullptr, 0, &documents)) &&
        documents.vt == VT_DISPATCH && documents.pdispVal) {
        VARIANT index;
        index.vt = VT_I2;
        index.iVal = static_cast<SHORT>(position);
        if (SUCCEEDED(InvokeById(documents.pdispVal, com::host_ids::document_list::kItem, DISPATCH_PROPERTYGET, &index, 1, &document)) &&
            document.vt == VT_DISPATCH)
            result = document.pdispVal;
    }
    VariantClear(&document);
    VariantClear(&documents);
    return result;
}

// DoModal with the picked image. The host's own calls to find the image are its business, not
// the plug-in's: they are left out of the log.
HRESULT ShowPlugIn(sim::SimHost& host, IDispatch* plugIn, int image) {
    if (!plugIn) return E_NOINTERFACE;
    const size_t ownCalls = host.calls.size();
    ComPtr<IDispatch> document = Image(image);
    host.calls.resize(std::min(host.calls.size(), ownCalls));
    VARIANT arg;
    arg.vt = VT_DISPATCH;
    arg.pdispVal = document.Get();
    return InvokeByName(plugIn, L"DoModal", DISPATCH_METHOD, &arg, 1, nullptr);
}

int Run(const std::wstring& tourFolder) {
    const bool touring = !tourFolder.empty();
    std::unique_ptr<sim::SimClock> clock;
    if (touring) clock = std::make_unique<sim::ManualClock>();
    else clock = std::make_unique<RealClock>();
    sim::SimHost host(clock.get());
    host.camera.cooler = {18.0, 38.0, 60.0};  // a warm night: -50 is out of reach
    host.camera.temperature = 18.0;

    demo::HostLibrary library(BesideProgram(L"MaxIm_DL.exe"));
    sim::SimComServer server(host);
    if (FAILED(server.Register())) return 3;
    PlugIn plugIn;
    const HRESULT loaded = LoadPlugIn(plugIn);
    if (touring && FAILED(loaded)) {
        std::fprintf(stderr, "stand-in host: could not create Starwright.PlugIn (0x%08lX)\n", static_cast<unsigned long>(loaded));
        return 4;
    }

    demo::PlugInEntry entry{plugIn.name, nullptr};
    if (plugIn.object) entry.show = [&](int image) { return ShowPlugIn(host, plugIn.object.Get(), image); };
    int status = 0;
    std::unique_ptr<demo::Tour> tour;
    {
        demo::HostWindow window(host, *clock, entry);
        for (const char* name : {"M31_L_001.fit", "M31_L_002.fit", "NGC7000_Ha_001.fit"}) window.AddImage(name);
        if (!window.Create()) return 6;
        window.SelectImage(0);
        if (touring) {
            tour = std::make_unique<demo::Tour>(
                demo::Tour{host, static_cast<sim::ManualClock&>(*clock), window, tourFolder});
            demo::StartTour(*tour);
        }
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    plugIn.object.Reset();
    if (!touring) return status;

    std::ofstream report(std::filesystem::path(tourFolder) / "tour.txt");
    report << "plug-in: " << ToUtf8(plugIn.name) << "\n";
    if (library.Status() == demo::HostLibrary::State::AlreadyRegistered)
        report << "host type library: a registration was already there and is left as it is\n";
    for (const auto& line : tour->report) report << line << "\n";
    for (const auto& shot : tour->shots) report << "picture: " << std::filesystem::path(shot).filename().string() << "\n";
    if (!tour->failure.empty()) report << "failed: " << tour->failure << "\n";
    return tour->finished && tour->failure.empty() ? 0 : 5;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring tourFolder;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::wstring(argv[i]) == L"--tour") tourFolder = argv[i + 1];
    LocalFree(argv);

    // Drawn at the display's own resolution rather than scaled up as a bitmap.
    SetProcessDPIAware();
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int status = 1;
    try {
        status = Run(tourFolder);
    } catch (...) {
        status = 1;
    }
    CoUninitialize();
    return status;
}
