// A screen reader may hold a control's accessible object after the window has closed (it keeps
// the object it last read). The object's code is Starwright.dll's: the module must not unload
// through COM until the reader lets go, or the host would call into freed code.

#include <windows.h>

#include <oleacc.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include "host/sim/com/sim_com_server.h"
#include "host/sim/sim_host.h"
#include "plugin/identifiers.h"
#include "plugin/plug_in_interface.h"
#include "tests/wine/plugin_test_support.h"
#include "tests/wine/window_driver.h"

namespace starwright {
namespace {

using Microsoft::WRL::ComPtr;
namespace d = driver;

TEST(PlugInModuleLifeTest, AnAccessibleObjectStillHeldKeepsTheModuleLoaded) {
    ASSERT_EQ(test::RegisterHostStub(), S_OK);
    ASSERT_EQ(test::CallExport("DllRegisterServer"), S_OK);
    sim::SimHost host;
    sim::SimComServer server(host);
    ASSERT_EQ(server.Register(), S_OK);

    ComPtr<IAccessible> held;
    {
        ComPtr<_PlugIn> plugIn;
        ASSERT_EQ(CoCreateInstance(plugin::kPlugInClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&plugIn)), S_OK);
        d::Script script;
        script.Until([] { return d::FindForm() != nullptr; }).Then([&held] {
            AccessibleObjectFromWindow(d::Control("lstLog"), static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                       reinterpret_cast<void**>(held.GetAddressOf()));
            d::Click("cmdExit");
        });
        script.Start();
        EXPECT_EQ(plugIn->DoModal(nullptr), S_OK);
        script.Stop();
        for (const auto& problem : script.problems) ADD_FAILURE() << problem;
    }
    ASSERT_NE(held, nullptr);

    CoFreeUnusedLibraries();
    if (!GetModuleHandleW(L"Starwright.dll")) {
        held.Detach();  // its code is gone: releasing it would end the test process
        FAIL() << "the module unloaded while its accessible object was held";
    }
    VARIANT self;
    VariantInit(&self);
    V_VT(&self) = VT_I4;
    V_I4(&self) = CHILDID_SELF;
    BSTR name = nullptr;
    held->get_accName(self, &name);  // answers for a window that has gone, whatever it says
    SysFreeString(name);

    held.Reset();
    CoFreeUnusedLibraries();
    EXPECT_EQ(GetModuleHandleW(L"Starwright.dll"), nullptr) << "nothing in use, and still loaded";
    EXPECT_EQ(test::CallExport("DllUnregisterServer"), S_OK);
}

}  // namespace
}  // namespace starwright
