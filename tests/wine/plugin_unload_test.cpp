// Starwright.dll loaded by COM, its window showing on a thread of its own, which takes the
// host's camera and then ends; the module must let go of the camera on that thread, in its
// apartment, and unload through CoFreeUnusedLibraries once nothing is in use. And loaded,
// shown and unloaded again and again, it must give back all it took each time; while it stays
// loaded, the window of a thread that has ended goes with the thread.

#include <windows.h>

#include <ole2.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "com/com_object.h"
#include "host/com/host_ids.h"
#include "host/sim/com/sim_com_server.h"
#include "host/sim/sim_host.h"
#include "plugin/identifiers.h"
#include "plugin/plug_in_interface.h"
#include "tests/wine/plugin_test_support.h"
#include "tests/wine/windows_only.h"
#include "tests/wine/window_driver.h"

namespace starwright {
namespace {

using Microsoft::WRL::ComPtr;
namespace d = driver;

std::atomic<int> g_liveCameras{0};

// The simulated host's camera, counted while clients hold it.
class CountedCamera final : public com::ComObject<CountedCamera, IDispatch> {
public:
    explicit CountedCamera(ComPtr<IDispatch> camera) : camera_(std::move(camera)) { ++g_liveCameras; }
    ~CountedCamera() { --g_liveCameras; }
    bool Implements(REFIID riid) const { return riid == IID_IDispatch; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return camera_->GetTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
        return camera_->GetTypeInfo(index, lcid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return camera_->GetIDsOfNames(riid, names, count, lcid, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override {
        return camera_->Invoke(id, riid, lcid, flags, params, result, exception, argError);
    }

private:
    ComPtr<IDispatch> camera_;
};

class CountedCameraClass final : public com::ComObject<CountedCameraClass, IClassFactory> {
public:
    explicit CountedCameraClass(ComPtr<IClassFactory> cameras) : cameras_(std::move(cameras)) {}
    bool Implements(REFIID riid) const { return riid == IID_IClassFactory; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        ComPtr<IDispatch> camera;
        HRESULT hr = cameras_->CreateInstance(outer, IID_PPV_ARGS(&camera));
        if (FAILED(hr)) return hr;
        // Not ComPtr::Attach, which takes a reference of its own in mingw-w64's WRL.
        auto* counted = new CountedCamera(camera);
        hr = counted->QueryInterface(riid, object);
        counted->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    ComPtr<IClassFactory> cameras_;
};

// Registered before the plug-in's own spy (made when its window takes the camera), which COM
// calls first: notes the cameras still alive as the thread's last CoUninitialize begins.
class ApartmentEndWitness final : public IInitializeSpy {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        *object = riid == IID_IUnknown || riid == IID_IInitializeSpy ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE PreInitialize(DWORD, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostInitialize(HRESULT result, DWORD, DWORD) override { return result; }
    HRESULT STDMETHODCALLTYPE PreUninitialize(DWORD references) override {
        if (references == 1) camerasAtTheEnd = g_liveCameras;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PostUninitialize(DWORD) override { return S_OK; }
    int camerasAtTheEnd = -1;
};

// What the plug-in's thread is given, and what it saw.
struct ThreadRun {
    IClassFactory* cameras = nullptr;
    HRESULT registered = E_UNEXPECTED;
    HRESULT created = E_UNEXPECTED;
    HRESULT shown = E_UNEXPECTED;
    int camerasAfterShowing = -1;
    HRESULT canUnloadWithTheCameraHeld = E_UNEXPECTED;
    int camerasAsTheApartmentEnds = -1;
    std::vector<std::string> problems;
};

// A thread of the host with an apartment of its own: creates a PlugIn, shows the window and
// ends the cool-down ("&End" creates the camera), lets the object go, then ends its apartment.
// The counted camera class is registered in this apartment, the only one that sees it.
DWORD WINAPI ShowOnOwnThread(void* parameter) {
    auto& run = *static_cast<ThreadRun*>(parameter);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    ApartmentEndWitness witness;
    ULARGE_INTEGER cookie{};
    CoRegisterInitializeSpy(&witness, &cookie);
    DWORD cameraClass = 0;
    {
        auto* counted = new CountedCameraClass(run.cameras);
        run.registered = CoRegisterClassObject(com::host_ids::kCameraClass, counted, CLSCTX_INPROC_SERVER,
                                               REGCLS_MULTIPLEUSE, &cameraClass);
        counted->Release();
    }
    if (SUCCEEDED(run.registered)) {
        ComPtr<_PlugIn> plugIn;
        run.created = CoCreateInstance(plugin::kPlugInClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&plugIn));
        if (SUCCEEDED(run.created)) {
            d::Script script;
            script.Until([] { return d::FindForm() != nullptr; }).Then([] {
                d::Click("optOptions", 1);
                d::Click("cmdQuit");
            });
            script.Start();
            run.shown = plugIn->DoModal(nullptr);
            script.Stop();
            run.problems = script.problems;
        }
        run.camerasAfterShowing = g_liveCameras;
    }
    if (HMODULE module = GetModuleHandleW(L"Starwright.dll")) {
        auto canUnload = test::ExportOf<test::NoArgumentExportFn>(module, "DllCanUnloadNow");
        run.canUnloadWithTheCameraHeld = canUnload();
    }
    if (cameraClass) CoRevokeClassObject(cameraClass);
    CoUninitialize();
    CoRevokeInitializeSpy(cookie);
    run.camerasAsTheApartmentEnds = witness.camerasAtTheEnd;
    return 0;
}

TEST(PlugInModuleLifeTest, TheCameraGoesWithItsThreadAndTheModuleUnloadsThroughCom) {
    STARWRIGHT_NEEDS_ADMINISTRATOR();
    STARWRIGHT_NEEDS_PLUGIN_UNREGISTERED();
    ASSERT_EQ(test::HostLibraryFound(), S_OK);
    ASSERT_EQ(test::CallExport("DllRegisterServer"), S_OK);
    // The simulated host's camera class, counted on the plug-in's thread.
    sim::SimHost host;
    sim::SimComServer server(host);
    ASSERT_EQ(server.Register(), S_OK);
    ComPtr<IClassFactory> cameras;
    ASSERT_EQ(CoGetClassObject(com::host_ids::kCameraClass, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&cameras)), S_OK);
    server.Revoke();
    // The host's own apartment loads the module too, and keeps it after the thread has gone.
    {
        ComPtr<IUnknown> plugIn;
        ASSERT_EQ(CoCreateInstance(plugin::kPlugInClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&plugIn)), S_OK);
    }

    ThreadRun run;
    run.cameras = cameras.Get();
    HANDLE thread = CreateThread(nullptr, 0, &ShowOnOwnThread, &run, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    // Serves the thread's camera calls while waiting for it.
    DWORD index = 0;
    EXPECT_EQ(CoWaitForMultipleHandles(0, 60000, 1, &thread, &index), S_OK);
    CloseHandle(thread);

    EXPECT_EQ(run.registered, S_OK) << test::Hex(run.registered);
    EXPECT_EQ(run.created, S_OK) << test::Hex(run.created);
    EXPECT_EQ(run.shown, S_OK) << test::Hex(run.shown);
    for (const auto& problem : run.problems) ADD_FAILURE() << problem;
    EXPECT_EQ(run.camerasAfterShowing, 1) << "the window keeps its camera after the showing";
    EXPECT_EQ(run.canUnloadWithTheCameraHeld, S_FALSE) << "a window holding the camera keeps the module in use";
    EXPECT_EQ(run.camerasAsTheApartmentEnds, 0) << "the camera is released on its thread before its apartment ends";
    EXPECT_EQ(g_liveCameras, 0);
    EXPECT_EQ(host.calls.empty() ? "" : host.calls.front().ToString(), "create Camera");

    ASSERT_NE(GetModuleHandleW(L"Starwright.dll"), nullptr);
    CoFreeUnusedLibraries();
    EXPECT_EQ(GetModuleHandleW(L"Starwright.dll"), nullptr) << "nothing in use, and still loaded";

    EXPECT_EQ(test::CallExport("DllUnregisterServer"), S_OK);
}

// A host may free the module whenever it is not in use and load it again for the next showing,
// all night: each time, the module must give back its handles, its TLS slots, of which a
// process has about a thousand, and its memory.
TEST(PlugInModuleLifeTest, EachLoadShowingAndUnloadGivesBackItsHandlesTlsSlotsAndMemory) {
    STARWRIGHT_NEEDS_ADMINISTRATOR();
    STARWRIGHT_NEEDS_PLUGIN_UNREGISTERED();
    ASSERT_EQ(test::HostLibraryFound(), S_OK);
    ASSERT_EQ(test::CallExport("DllRegisterServer"), S_OK);
    sim::SimHost host;
    sim::SimComServer server(host);
    ASSERT_EQ(server.Register(), S_OK);
    const auto showAndUnload = [] {
        ComPtr<_PlugIn> plugIn;
        ASSERT_EQ(CoCreateInstance(plugin::kPlugInClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&plugIn)), S_OK);
        d::Script script;
        script.Until([] { return d::FindForm() != nullptr; }).Then([] { d::Click("cmdExit"); });
        script.Start();
        EXPECT_EQ(plugIn->DoModal(nullptr), S_OK);
        script.Stop();
        for (const auto& problem : script.problems) ADD_FAILURE() << problem;
        plugIn.Reset();
        CoFreeUnusedLibraries();
        ASSERT_EQ(GetModuleHandleW(L"Starwright.dll"), nullptr);
    };
    // The first showing settles what the process keeps for any window and COM client.
    showAndUnload();
    const long handles = test::OpenHandles();
    const int freeTlsSlots = test::FreeTlsSlots();
    const test::HeapUse heap = test::HeapInUse();
    for (int i = 0; i < 3; ++i) showAndUnload();
    EXPECT_EQ(test::HeapInUse(), heap);
    EXPECT_EQ(test::OpenHandles(), handles);
    EXPECT_EQ(test::FreeTlsSlots(), freeTlsSlots);
    EXPECT_EQ(test::CallExport("DllUnregisterServer"), S_OK);
}

// A thread of the host that shows the window and ends; its own apartment, and no host object
// taken. Returns whether the showing went as it should.
DWORD WINAPI ShowAndEndThread(void* parameter) {
    const auto getClassObject = *static_cast<test::GetClassObjectFn*>(parameter);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    bool shown = false;
    {
        ComPtr<IClassFactory> factory;
        ComPtr<_PlugIn> plugIn;
        if (SUCCEEDED(getClassObject(plugin::kPlugInClsid, IID_PPV_ARGS(&factory))) &&
            SUCCEEDED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&plugIn)))) {
            d::Script script;
            script.Until([] { return d::FindForm() != nullptr; }).Then([] { d::Click("cmdExit"); });
            script.Start();
            shown = plugIn->DoModal(nullptr) == S_OK && script.Finished() && script.problems.empty();
            script.Stop();
        }
    }
    CoUninitialize();
    return shown ? 0 : 1;
}

// Each thread has a window of its own, kept for its next showing; once the thread has ended,
// nothing can show it again, and a host that runs each showing on a new thread must not pile
// them up for as long as the module stays loaded.
TEST(PlugInModuleLifeTest, TheWindowOfAThreadThatHasEndedIsFreed) {
    HMODULE module = LoadLibraryW(test::BesideTest(L"Starwright.dll").c_str());
    ASSERT_NE(module, nullptr);
    auto getClassObject = test::ExportOf<test::GetClassObjectFn>(module, "DllGetClassObject");
    const auto showOnNewThread = [&] {
        HANDLE thread = CreateThread(nullptr, 0, &ShowAndEndThread, &getClassObject, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        DWORD index = 0;
        EXPECT_EQ(CoWaitForMultipleHandles(0, 60000, 1, &thread, &index), S_OK);
        DWORD exitCode = 1;
        GetExitCodeThread(thread, &exitCode);
        EXPECT_EQ(exitCode, 0u) << "the showing on the thread failed";
        CloseHandle(thread);
    };
    // The first showing settles what the module keeps for any window.
    showOnNewThread();
    const test::HeapUse heap = test::HeapInUse();
    for (int i = 0; i < 3; ++i) showOnNewThread();
    EXPECT_EQ(test::HeapInUse(), heap);
    FreeLibrary(module);
}

// A host keeps the module loaded while a newer version is installed over it: setup renames the
// loaded file aside and writes the new one under its name. Objects the host creates afterwards
// still run this module's code, and must still describe it: their type information is the one
// the module was loaded with, not what the file at its path now holds (here, not a module at all).
TEST(PlugInModuleLifeTest, ObjectsMadeAfterTheFileIsReplacedDescribeTheLoadedModule) {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring folder = std::wstring(temp) + L"starwright-replaced";
    const std::wstring path = folder + L"\\Starwright.dll";
    const std::wstring setAside = path + L".old-1";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(test::BesideTest(L"Starwright.dll").c_str(), path.c_str(), FALSE));
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr);
    const auto getClassObject = test::ExportOf<test::GetClassObjectFn>(module, "DllGetClassObject");
    const auto nameThroughDispatch = [&]() -> std::wstring {
        ComPtr<IClassFactory> factory;
        ComPtr<IDispatch> plugIn;
        if (FAILED(getClassObject(plugin::kPlugInClsid, IID_PPV_ARGS(&factory))) ||
            FAILED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&plugIn))))
            return L"(not created)";
        LPOLESTR names[] = {const_cast<LPOLESTR>(L"Name")};
        DISPID id = 0;
        HRESULT hr = plugIn->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr)) return L"(GetIDsOfNames failed)";
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        test::OwnedVariant result;
        hr = plugIn->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result.value, nullptr,
                            nullptr);
        return SUCCEEDED(hr) && V_VT(&result.value) == VT_BSTR ? V_BSTR(&result.value) : L"(Invoke failed)";
    };
    EXPECT_EQ(nameThroughDispatch(), L"Starwright 1.0");

    ASSERT_TRUE(MoveFileW(path.c_str(), setAside.c_str()));
    HANDLE replacement = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(replacement, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(replacement, "not a module", 12, &written, nullptr);
    CloseHandle(replacement);
    EXPECT_EQ(nameThroughDispatch(), L"Starwright 1.0");

    FreeLibrary(module);
    DeleteFileW(path.c_str());
    DeleteFileW(setAside.c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace starwright
