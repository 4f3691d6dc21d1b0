// Starwright.dll in a host process that already has the compiler's shared runtime loaded
// (libgcc_s and libwinpthread, as any module built with mingw-w64 and a shared libgcc brings: a
// camera driver, another plug-in). Every failed host call is a C++ exception inside the plug-in,
// caught there and shown to the user; none may end the host, whichever unwinder the process
// holds besides the plug-in's own.

#include <windows.h>

#include <ole2.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/sim/com/sim_com_server.h"
#include "host/sim/sim_host.h"
#include "plugin/identifiers.h"
#include "plugin/plug_in_interface.h"
#include "tests/wine/folder_support.h"
#include "tests/wine/plugin_test_support.h"
#include "tests/wine/windows_only.h"
#include "tests/wine/window_driver.h"

namespace starwright {
namespace {

using Microsoft::WRL::ComPtr;
namespace d = driver;

// The toolchain's own copies, put beside the test by its build (tests/wine/runtime.cmake).
#ifdef _WIN64
constexpr const wchar_t* kSharedLibgcc = L"libgcc_s_seh-1.dll";
#else
constexpr const wchar_t* kSharedLibgcc = L"libgcc_s_dw2-1.dll";
#endif

HMODULE LoadSharedRuntime(const wchar_t* file) {
    return LoadLibraryW(test::BesideTest((std::wstring(L"shared-runtime\\") + file).c_str()).c_str());
}

TEST(PlugInBesideSharedLibgccTest, EveryHandlerShowsItsFailedHostCall) {
    // libgcc_s imports libwinpthread, found by its name once loaded.
    HMODULE winpthread = LoadSharedRuntime(L"libwinpthread-1.dll");
    HMODULE libgcc = LoadSharedRuntime(kSharedLibgcc);
    ASSERT_NE(winpthread, nullptr);
    ASSERT_NE(libgcc, nullptr);
    ASSERT_EQ(GetModuleHandleW(kSharedLibgcc), libgcc);

    ASSERT_EQ(test::HostLibraryFound(), S_OK);
    sim::SimHost host;
    sim::SimComServer server(host);
    ASSERT_EQ(server.Register(), S_OK);
    for (const char* name : {"A.fit", "B.fit"}) host.AddDocument(name);
    // While set, every call on the host's objects fails.
    bool failing = false;
    const std::string description = "The host is not responding";
    host.onCall = [&](const sim::CallRecord& call) {
        if (failing && call.kind != sim::CallKind::Create)
            host.FailOn("", static_cast<int32_t>(0x80040005), description);
    };

    HMODULE module = LoadLibraryW(test::BesideTest(L"Starwright.dll").c_str());
    ASSERT_NE(module, nullptr);
    auto getClassObject = test::ExportOf<test::GetClassObjectFn>(module, "DllGetClassObject");
    ASSERT_NE(getClassObject, nullptr);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(plugin::kPlugInClsid, IID_PPV_ARGS(&factory)), S_OK);
    ComPtr<_PlugIn> plugIn;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&plugIn)), S_OK);

    const std::string home = test::ScratchFolder("starwright-shared-libgcc");
    struct Case {
        const char* handler;
        std::function<void()> arrange;  // with the host answering
        std::function<void()> act;      // with every host call failing
    };
    const Case cases[] = {
        {"Start Now", [] { d::Click("optOptions", 1); }, [] { d::Click("cmdStart"); }},
        {"a cool-down tick",
         [] {
             d::Click("optOptions", 1);
             d::Click("cmdStart");
         },
         [] { d::Tick(); }},
        {"End", [] { d::Click("optOptions", 1); }, [] { d::Click("cmdQuit"); }},
        {"the listing", [] {}, [] { d::Click("optOptions", 2); }},
        {"Update Fits Header",
         [] {
             d::Click("optOptions", 2);
             d::Click("cmdBinMove", 0);
             d::Type("txtKey", "SET-TEMP");
             d::Type("txtKeyValue", "1");
         },
         [] { d::Click("cmdSet"); }},
        {"Create Path",
         [&] {
             d::Click("optOptions", 0);
             d::Type("txtPath", home);
             d::Type("txtObject", "M31");
         },
         [] { d::Click("cmdCreate"); }},
    };
    std::vector<std::string> shown;
    d::Script script;
    script.Until([] { return d::FindForm() != nullptr; });
    for (const Case& c : cases) {
        // The act blocks in its message box; the next steps run inside it.
        script.Then([&] {
            failing = false;
            c.arrange();
            failing = true;
            c.act();
        });
        script.Until([&] {
            HWND box = d::FindMessageBox();
            if (!box) return false;
            shown.push_back(std::string(c.handler) + ": " + d::MessageBoxText(box));
            d::PressOk(box);
            return true;
        });
        script.Until([] { return d::FindMessageBox() == nullptr && d::FindForm() != nullptr; });
    }
    script.Then([&] {
        failing = false;
        d::Click("cmdExit");
    });
    script.Start();
    EXPECT_EQ(plugIn->DoModal(nullptr), S_OK);
    script.Stop();
    for (const auto& problem : script.problems) ADD_FAILURE() << problem;
    std::vector<std::string> expected;
    for (const Case& c : cases) expected.push_back(std::string(c.handler) + ": " + description);
    EXPECT_EQ(shown, expected);

    // The window keeps the camera, and with it the module, until this thread's apartment ends.
    test::RemoveFolderTree(home);
}

}  // namespace
}  // namespace starwright
