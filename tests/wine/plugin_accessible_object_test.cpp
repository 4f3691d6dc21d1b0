// A screen reader holds the accessible objects it reads, from another process or apartment, as
// long as it likes, and may keep the one it read last after the window has closed. Where the
// window hands out objects of its own (no annotation service), their code is Starwright.dll's.
// When the window closes they are disconnected: the reader's next call fails, rather than
// answering for a window handle the system may have given to another window since, and what the
// reader keeps no longer keeps the module loaded. A client in the window's own apartment holds
// the object itself, whose code must stay until it lets go.

#include <windows.h>

#include <oleacc.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/sim/com/sim_com_server.h"
#include "host/sim/sim_host.h"
#include "plugin/identifiers.h"
#include "plugin/plug_in_interface.h"
#include "tests/wine/annotation_stand_in.h"
#include "tests/wine/plugin_test_support.h"
#include "tests/wine/windows_only.h"
#include "tests/wine/window_driver.h"

namespace starwright {
namespace {

using Microsoft::WRL::ComPtr;
namespace d = driver;

VARIANT Self() {
    VARIANT self;
    VariantInit(&self);
    V_VT(&self) = VT_I4;
    V_I4(&self) = CHILDID_SELF;
    return self;
}

// Waits for `handle` while this apartment serves the calls other apartments make into it. The
// time limit only keeps a broken run from hanging.
bool WaitServing(HANDLE handle) {
    DWORD index = 0;
    return CoWaitForMultipleHandles(0, 60000, 1, &handle, &index) == S_OK;
}

// A screen reader in the multithreaded apartment: it asks for a control's object, which reaches
// it through a proxy, and reads its name; reads it again when told; and lets go when told.
class Reader {
public:
    explicit Reader(HWND control) : control_(control) {
        thread_ = CreateThread(nullptr, 0, &Reader::Run, this, 0, nullptr);
    }
    ~Reader() {
        if (!thread_) return;
        SetEvent(go_);
        WaitServing(thread_);
        CloseHandle(thread_);
        CloseHandle(go_);
        CloseHandle(read_);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool HasRead() { return WaitForSingleObject(read_, 0) == WAIT_OBJECT_0; }
    bool ReadAgain() {
        SetEvent(go_);
        return WaitServing(read_);
    }

    HRESULT hr = E_FAIL;
    std::wstring name;

private:
    static DWORD WINAPI Run(void* parameter) {
        auto& reader = *static_cast<Reader*>(parameter);
        if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
        {
            ComPtr<IAccessible> object;
            reader.hr = AccessibleObjectFromWindow(reader.control_, static_cast<DWORD>(OBJID_CLIENT),
                                                   __uuidof(IAccessible), reinterpret_cast<void**>(object.GetAddressOf()));
            for (int read = 0; read < 2; ++read) {
                if (read == 1) WaitForSingleObject(reader.go_, INFINITE);
                BSTR name = nullptr;
                if (object) reader.hr = object->get_accName(Self(), &name);
                reader.name = name ? name : L"";
                SysFreeString(name);
                SetEvent(reader.read_);
            }
            WaitForSingleObject(reader.go_, INFINITE);
        }
        CoUninitialize();
        return 0;
    }

    HWND control_;
    HANDLE go_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE read_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread_ = nullptr;
};

TEST(PlugInModuleLifeTest, AccessibleObjectsAreDisconnectedWhenTheWindowCloses) {
    STARWRIGHT_NEEDS_ADMINISTRATOR();
    STARWRIGHT_NEEDS_PLUGIN_UNREGISTERED();
    ASSERT_EQ(test::HostLibraryFound(), S_OK);
    ASSERT_EQ(test::CallExport("DllRegisterServer"), S_OK);
    test::StandInAnnotation annotation(E_NOTIMPL);  // as Wine 8's: the window names the lists itself
    ASSERT_EQ(annotation.Registered(), S_OK);
    sim::SimHost host;
    sim::SimComServer server(host);
    ASSERT_EQ(server.Register(), S_OK);

    ComPtr<IAccessible> held;
    std::unique_ptr<Reader> reader;
    {
        ComPtr<_PlugIn> plugIn;
        ASSERT_EQ(CoCreateInstance(plugin::kPlugInClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&plugIn)), S_OK);
        d::Script script;
        script.Until([] { return d::FindForm() != nullptr; })
            .Then([&] {
                HWND list = d::Control("lstLog");
                AccessibleObjectFromWindow(list, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                           reinterpret_cast<void**>(held.GetAddressOf()));
                reader = std::make_unique<Reader>(list);
            })
            // The modal loop serves the reader's calls meanwhile.
            .Until([&] { return reader->HasRead(); })
            .Then([] { d::Click("cmdExit"); });
        script.Start();
        EXPECT_EQ(plugIn->DoModal(nullptr), S_OK);
        script.Stop();
        for (const auto& problem : script.problems) ADD_FAILURE() << problem;
    }
    ASSERT_NE(held, nullptr);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->hr, S_OK);
    EXPECT_EQ(reader->name, L"Log");

    ASSERT_TRUE(reader->ReadAgain());
    EXPECT_TRUE(FAILED(reader->hr)) << "the window has closed, and the reader still heard \"" << reader->name << "\"";
    EXPECT_EQ(reader->name, L"");
    BSTR name = nullptr;
    EXPECT_TRUE(FAILED(held->get_accName(Self(), &name)));
    SysFreeString(name);

    CoFreeUnusedLibraries();
    if (!GetModuleHandleW(L"Starwright.dll")) {
        held.Detach();  // its code is gone: releasing it would end the test process
        FAIL() << "the module unloaded while its accessible object was held in its apartment";
    }
    held.Reset();
    CoFreeUnusedLibraries();
    EXPECT_EQ(GetModuleHandleW(L"Starwright.dll"), nullptr) << "kept loaded by the reader in another apartment";
    reader.reset();
    CoFreeUnusedLibraries();
    EXPECT_EQ(GetModuleHandleW(L"Starwright.dll"), nullptr);
    EXPECT_EQ(test::CallExport("DllUnregisterServer"), S_OK);
}

}  // namespace
}  // namespace starwright
