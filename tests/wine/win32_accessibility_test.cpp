// What a screen reader hears for each control of the tool window: the name and role that the
// system's accessibility layer gives it, read as NVDA, JAWS or Narrator read them.

#include <windows.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/sim/sim_host.h"
#include "platform/portable_platform.h"
#include "platform/text_win.h"
#include "tests/wine/window_fixture.h"

namespace starwright {
namespace {

namespace d = driver;
using Microsoft::WRL::ComPtr;

struct Heard {
    std::string name;
    long role = 0;
};

// The control's own accessible object, as an assistive program asks the system for it.
Heard Hear(HWND hwnd) {
    Heard heard;
    ComPtr<IAccessible> accessible;
    const HRESULT hr = AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                                  reinterpret_cast<void**>(accessible.GetAddressOf()));
    if (FAILED(hr) || !accessible) {
        heard.name = "<no accessible object>";
        return heard;
    }
    VARIANT self;
    VariantInit(&self);
    V_VT(&self) = VT_I4;
    V_I4(&self) = CHILDID_SELF;
    UniqueBstr name;
    if (accessible->get_accName(self, name.Out()) == S_OK && name.Get())
        heard.name = ToUtf8(std::wstring_view(name.Get(), SysStringLen(name.Get())));
    VARIANT role;
    VariantInit(&role);
    if (SUCCEEDED(accessible->get_accRole(self, &role)) && V_VT(&role) == VT_I4) heard.role = V_I4(&role);
    VariantClear(&role);
    return heard;
}

// The role of the system's own accessible object for the control, whatever the control answers.
long SystemRole(HWND hwnd) {
    ComPtr<IAccessible> accessible;
    if (FAILED(CreateStdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                         reinterpret_cast<void**>(accessible.GetAddressOf()))))
        return 0;
    VARIANT self;
    VariantInit(&self);
    V_VT(&self) = VT_I4;
    V_I4(&self) = CHILDID_SELF;
    VARIANT role;
    VariantInit(&role);
    const long result = SUCCEEDED(accessible->get_accRole(self, &role)) && V_VT(&role) == VT_I4 ? V_I4(&role) : 0;
    VariantClear(&role);
    return result;
}

std::string RoleText(long role) {
    wchar_t text[64] = {};
    GetRoleTextW(static_cast<DWORD>(role), text, 64);
    return ToUtf8(text);
}

// The window runs on the host's user-interface thread, a single-threaded apartment; the
// accessible objects are handed out through COM there.
class Win32AccessibilityTest : public ::testing::Test, protected SimHostedWindow {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }
};

// Every control the user can reach, in each tool as chosen by its option button, is heard by
// the text a sighted user reads for it: its label's, or its own caption without the access-key
// "&". The two lists, both captioned "Loaded Images", are told apart by their side, and the
// drop-down list, which has no label, by what it chooses.
TEST_F(Win32AccessibilityTest, EveryInputIsHeardByItsLabel) {
    struct Case {
        const char* control;
        int16_t index;
        int16_t tool;  // the option that shows it
        const char* name;
        long role;
    };
    const Case cases[] = {
        {"optOptions", 0, 0, "Handy Path", ROLE_SYSTEM_RADIOBUTTON},
        {"optOptions", 1, 0, "Handy Start", ROLE_SYSTEM_RADIOBUTTON},
        {"optOptions", 2, 0, "Handy FITS", ROLE_SYSTEM_RADIOBUTTON},
        {"cmdExit", -1, 0, "Exit", ROLE_SYSTEM_PUSHBUTTON},
        {"txtObject", -1, 0, "Image Name", ROLE_SYSTEM_TEXT},
        {"txtPath", -1, 0, "Home path", ROLE_SYSTEM_TEXT},
        {"cmdCreate", -1, 0, "Create Path", ROLE_SYSTEM_PUSHBUTTON},
        {"chkNoSet", -1, 1, "Do not set new temperature", ROLE_SYSTEM_CHECKBUTTON},
        {"cmdStart", -1, 1, "Start Now", ROLE_SYSTEM_PUSHBUTTON},
        {"cmdQuit", -1, 1, "End", ROLE_SYSTEM_PUSHBUTTON},
        {"lstLog", -1, 1, "Log", ROLE_SYSTEM_LIST},
        {"txtKey", -1, 2, "Key Name", ROLE_SYSTEM_TEXT},
        {"txtKeyValue", -1, 2, "Value", ROLE_SYSTEM_TEXT},
        {"cmbType", -1, 2, "Type", ROLE_SYSTEM_COMBOBOX},
        {"cmdSet", -1, 2, "Update Fits Header", ROLE_SYSTEM_PUSHBUTTON},
        {"lstImagesBin", -1, 2, "Loaded Images (left)", ROLE_SYSTEM_LIST},
        {"cmdBinMove", 0, 2, "All >>", ROLE_SYSTEM_PUSHBUTTON},
        {"cmdBinMove", 3, 2, "<< All", ROLE_SYSTEM_PUSHBUTTON},
        {"lstSelectedBin", -1, 2, "Loaded Images (right)", ROLE_SYSTEM_LIST},
    };
    // A control added to the window without a line here fails the test: it has to be heard too.
    for (const auto& c : FrmMainDescription().controls) {
        if (c.type == ControlType::Label || c.type == ControlType::Frame || c.type == ControlType::Timer) continue;
        bool listed = false;
        for (const Case& expected : cases) listed = listed || (c.name == expected.control && c.index == expected.index);
        EXPECT_TRUE(listed) << c.name << " is not in the table";
    }

    d::Script script;
    for (int16_t tool : {int16_t{1}, int16_t{2}, int16_t{0}}) {
        script.Then([&cases, tool] {
            d::Click("optOptions", tool);
            for (const Case& c : cases) {
                if (c.tool != tool) continue;
                HWND hwnd = d::Control(c.control, c.index);
                const Heard heard = Hear(hwnd);
                EXPECT_EQ(heard.name, c.name) << c.control << "(" << c.index << ")";
                // The role stays the system's. Windows gives each class its own (the table's);
                // Wine 8 knows the text box only and calls the others a plain client area.
                const long systemRole = SystemRole(hwnd);
                EXPECT_EQ(RoleText(heard.role), RoleText(systemRole)) << c.control << "(" << c.index << ")";
                if (systemRole != ROLE_SYSTEM_CLIENT) {
                    EXPECT_EQ(RoleText(heard.role), RoleText(c.role)) << c.control << "(" << c.index << ")";
                }
            }
        });
    }
    script.Then([] { d::Click("cmdExit"); });
    ShowWith(form, script);
}

}  // namespace
}  // namespace starwright
