// What a screen reader hears for each control of the tool window: the name and role that the
// system's accessibility layer gives it, read as NVDA, JAWS or Narrator read them.

#include <windows.h>
#include <oleacc.h>
#include <servprov.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/sim/sim_host.h"
#include "platform/portable_platform.h"
#include "platform/text_win.h"
#include "tests/wine/annotation_stand_in.h"
#include "tests/wine/window_fixture.h"
#include "tests/wine/windows_only.h"
#include "window/win32/accessible_name.h"

namespace starwright {
namespace {

namespace d = driver;
using Microsoft::WRL::ComPtr;

// The interfaces a client may reach an accessible object through besides IAccessible.
const IID* const kOtherInterfaces[] = {&IID_IDispatch, &IID_IEnumVARIANT, &IID_IOleWindow, &IID_IServiceProvider,
                                       &IID_IAccIdentity};

struct Heard {
    std::string name;
    long role = 0;
    std::vector<bool> answers;  // by kOtherInterfaces
};

Heard Read(IAccessible* accessible) {
    Heard heard;
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
    for (const IID* iid : kOtherInterfaces) {
        ComPtr<IUnknown> other;
        heard.answers.push_back(SUCCEEDED(accessible->QueryInterface(*iid, reinterpret_cast<void**>(other.GetAddressOf()))));
    }
    return heard;
}

// The control's own accessible object, as an assistive program asks the system for it.
Heard Hear(HWND hwnd, LONG objectId = OBJID_CLIENT) {
    ComPtr<IAccessible> accessible;
    const HRESULT hr = AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(objectId), __uuidof(IAccessible),
                                                  reinterpret_cast<void**>(accessible.GetAddressOf()));
    if (FAILED(hr) || !accessible) return {"<no accessible object>"};
    return Read(accessible.Get());
}

// The system's own accessible object for the control, whatever the control answers.
Heard System(HWND hwnd, LONG objectId = OBJID_CLIENT) {
    ComPtr<IAccessible> accessible;
    if (FAILED(CreateStdAccessibleObject(hwnd, objectId, __uuidof(IAccessible),
                                         reinterpret_cast<void**>(accessible.GetAddressOf()))))
        return {"<no system object>"};
    return Read(accessible.Get());
}

std::string RoleText(long role) {
    wchar_t text[64] = {};
    GetRoleTextW(static_cast<DWORD>(role), text, 64);
    return ToUtf8(text);
}

// The two UI Automation client interfaces this file uses, as far as the methods it calls (the
// headers of this mingw-w64 have no client side). Narrator and other newer readers reach the
// window through them.
struct IUIAutomationElementCalls : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFocus() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRuntimeId(SAFEARRAY**) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindFirst(int, IUnknown*, IUnknown**) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindAll(int, IUnknown*, IUnknown**) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindFirstBuildCache(int, IUnknown*, IUnknown*, IUnknown**) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindAllBuildCache(int, IUnknown*, IUnknown*, IUnknown**) = 0;
    virtual HRESULT STDMETHODCALLTYPE BuildUpdatedCache(IUnknown*, IUnknown**) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPropertyValue(int property, VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPropertyValueEx(int, BOOL, VARIANT*) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCachedPropertyValue(int, VARIANT*) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCachedPropertyValueEx(int, BOOL, VARIANT*) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPatternAs(int, REFIID, void**) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCachedPatternAs(int, REFIID, void**) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPattern(int pattern, IUnknown** object) = 0;
};
struct IUIAutomationCalls : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CompareElements(IUnknown*, IUnknown*, BOOL*) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareRuntimeIds(SAFEARRAY*, SAFEARRAY*, BOOL*) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRootElement(IUIAutomationElementCalls**) = 0;
    virtual HRESULT STDMETHODCALLTYPE ElementFromHandle(HWND hwnd, IUIAutomationElementCalls** element) = 0;
};
constexpr CLSID kUiAutomationClass = {0xFF48DBA4, 0x60EF, 0x4201, {0xAA, 0x87, 0x54, 0x10, 0x3E, 0xEF, 0x59, 0x4E}};
constexpr IID kUiAutomationInterface = {0x30CBE57D, 0xD9D0, 0x452A, {0xAB, 0x13, 0x7A, 0xC5, 0xAC, 0x48, 0x25, 0xEE}};
constexpr int kUiaNameProperty = 30005;
constexpr int kUiaExpandCollapsePattern = 10005;

// The window runs on the host's user-interface thread, a single-threaded apartment; the
// accessible objects are handed out through COM there. The system's annotation service is a
// stand-in that answers as Wine 8's does unless a test says otherwise.
class Win32AccessibilityTest : public ::testing::Test, protected SimHostedWindow {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        AnswerAnnotations(E_NOTIMPL);
    }
    void TearDown() override {
        annotation.reset();
        CoUninitialize();
    }
    void AnswerAnnotations(HRESULT answer) {
        annotation.reset();
        annotation = std::make_unique<test::StandInAnnotation>(answer);
        ASSERT_EQ(annotation->Registered(), S_OK);
    }

    std::unique_ptr<test::StandInAnnotation> annotation;
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
                const Heard system = System(hwnd);
                EXPECT_EQ(heard.name, c.name) << c.control << "(" << c.index << ")";
                // The role stays the system's. Windows gives each class its own (the table's);
                // Wine 8 knows the text box only and calls the others a plain client area.
                EXPECT_EQ(RoleText(heard.role), RoleText(system.role)) << c.control << "(" << c.index << ")";
                if (system.role != ROLE_SYSTEM_CLIENT) {
                    EXPECT_EQ(RoleText(heard.role), RoleText(c.role)) << c.control << "(" << c.index << ")";
                }
                // So does every interface the system's objects are reached through; and a control
                // that tells its name itself tells it for its window as well as its client area.
                EXPECT_EQ(heard.answers, system.answers) << c.control << "(" << c.index << ")";
                const Heard window = Hear(hwnd, OBJID_WINDOW);
                EXPECT_EQ(window.answers, System(hwnd, OBJID_WINDOW).answers) << c.control << "(" << c.index << ")";
                if (heard.name != system.name) {
                    EXPECT_EQ(window.name, c.name) << c.control << "(" << c.index << ")";
                }
                // A labelled input stands right after its label in the window order, where
                // Windows' accessibility layer looks for a name.
                const ControlDescription& d = *FrmMainDescription().Find(c.control, c.index);
                if (const ControlDescription* label = FrmMainDescription().LabelOf(d)) {
                    EXPECT_EQ(GetWindow(hwnd, GW_HWNDPREV), d::Control(label->name, label->index)) << c.control;
                }
            }
        });
    }
    script.Then([] { d::Click("cmdExit"); });
    ShowWith(form, script);
}

// Where the system annotates a control's name (Windows), the system's own object tells it, with
// everything else that object answers: each list and the drop-down list is annotated with its
// name while it is shown, no object of the window's is handed out for it, and the annotation is
// cleared before its window handle is given up.
TEST_F(Win32AccessibilityTest, NamesAreAnnotatedWhereTheSystemCan) {
    AnswerAnnotations(S_OK);
    const std::map<std::string, std::wstring> names = {
        {"lstLog", L"Log"},
        {"cmbType", L"Type"},
        {"lstImagesBin", L"Loaded Images (left)"},
        {"lstSelectedBin", L"Loaded Images (right)"},
    };
    std::map<HWND, std::wstring> expected;
    d::Script script;
    script.Then([&] {
        for (const auto& [control, name] : names) {
            HWND hwnd = d::Control(control);
            expected[hwnd] = name;
            ComPtr<IAccessible> accessible;
            AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                       reinterpret_cast<void**>(accessible.GetAddressOf()));
            EXPECT_FALSE(AccessibleObjectsInUse()) << control;
        }
        d::Click("cmdExit");
    });
    ShowWith(form, script);

    std::map<HWND, std::wstring> annotated;
    for (const auto& named : annotation->named) {
        EXPECT_TRUE(named.objectId == static_cast<DWORD>(OBJID_CLIENT) && named.childId == CHILDID_SELF && named.nameProperty);
        annotated[named.hwnd] = named.name;
    }
    EXPECT_EQ(annotated, expected);
    EXPECT_EQ(annotation->named.size(), names.size());
    std::map<HWND, int> cleared;
    for (const auto& clear : annotation->cleared) {
        EXPECT_TRUE(clear.objectId == static_cast<DWORD>(OBJID_CLIENT) && clear.childId == CHILDID_SELF && clear.nameProperty);
        EXPECT_TRUE(clear.windowThere);
        ++cleared[clear.hwnd];
    }
    for (const auto& [hwnd, name] : expected) EXPECT_EQ(cleared[hwnd], 1) << "cleared for " << ToUtf8(name);
}

// What UI Automation tells of a control, read on a thread of its own. The thread shares it, and
// may outlive a test that stopped waiting for it: once abandoned, it makes no further call.
struct UiaRead {
    explicit UiaRead(HWND readControl) : control(readControl) {}
    const HWND control;
    std::atomic<bool> abandoned{false};
    HRESULT created = E_FAIL, found = E_FAIL, named = E_FAIL, pattern = E_FAIL;
    std::string name = "<no name>";
    bool hasPattern = false;
};

// Takes a heap-allocated std::shared_ptr<UiaRead>, which it deletes.
DWORD WINAPI ReadThroughUiAutomation(void* data) {
    const std::unique_ptr<std::shared_ptr<UiaRead>> held(static_cast<std::shared_ptr<UiaRead>*>(data));
    UiaRead& read = **held;
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    {
        ComPtr<IUIAutomationCalls> automation;
        read.created = CoCreateInstance(kUiAutomationClass, nullptr, CLSCTX_INPROC_SERVER, kUiAutomationInterface,
                                        reinterpret_cast<void**>(automation.GetAddressOf()));
        ComPtr<IUIAutomationElementCalls> element;
        if (automation && !read.abandoned) read.found = automation->ElementFromHandle(read.control, element.GetAddressOf());
        if (element && !read.abandoned) {
            VARIANT name;
            VariantInit(&name);
            read.named = element->GetCurrentPropertyValue(kUiaNameProperty, &name);
            if (V_VT(&name) == VT_BSTR && V_BSTR(&name)) read.name = ToUtf8(V_BSTR(&name));
            VariantClear(&name);
        }
        if (element && !read.abandoned) {
            ComPtr<IUnknown> expandCollapse;
            read.pattern = element->GetCurrentPattern(kUiaExpandCollapsePattern, expandCollapse.GetAddressOf());
            read.hasPattern = expandCollapse != nullptr;
        }
    }
    CoUninitialize();
    return 0;
}

// What Windows itself gives the controls, with its own annotation service (not the stand-in):
// the roles of the lists, the drop-down list and a button; their names, told by annotation with
// no object of the window's handed out; and the drop-down list through UI Automation, by its name
// and with its expand/collapse pattern. A text box's name from its label, Windows' own label
// search, is checked on Windows by EveryInputIsHeardByItsLabel.
TEST_F(Win32AccessibilityTest, WindowsOwnRolesAnnotationAndUiAutomation) {
    STARWRIGHT_WINDOWS_ONLY("Wine 8 gives lists, the drop-down list and buttons a plain client area's role, "
                            "answers annotation with 'not implemented' and has no UI Automation client");
    annotation.reset();
    const struct {
        const char* control;
        const char* name;
        long role;
    } cases[] = {
        {"lstImagesBin", "Loaded Images (left)", ROLE_SYSTEM_LIST},
        {"lstSelectedBin", "Loaded Images (right)", ROLE_SYSTEM_LIST},
        {"cmbType", "Type", ROLE_SYSTEM_COMBOBOX},
        {"cmdSet", "Update Fits Header", ROLE_SYSTEM_PUSHBUTTON},
    };
    d::Script script;
    script.Then([&] {
        d::Click("optOptions", 2);
        for (const auto& c : cases) {
            const Heard heard = Hear(d::Control(c.control));
            EXPECT_EQ(heard.name, c.name) << c.control;
            EXPECT_EQ(RoleText(heard.role), RoleText(c.role)) << c.control;
            EXPECT_FALSE(AccessibleObjectsInUse()) << c.control << ": the window handed out an object of its own";
        }
        // UI Automation from a thread of its own: a client on the thread of the window it reads
        // can hang, Microsoft warns. This thread serves the window meanwhile, for a minute at
        // most: a stalled UI Automation must fail this test, not hold the whole program until
        // the kit ends it and every other result is lost.
        const auto read = std::make_shared<UiaRead>(d::Control("cmbType"));
        auto* forThread = new std::shared_ptr<UiaRead>(read);
        HANDLE thread = CreateThread(nullptr, 0, &ReadThroughUiAutomation, forThread, 0, nullptr);
        if (!thread) delete forThread;
        ASSERT_NE(thread, nullptr);
        DWORD index = 0;
        const HRESULT waited =
            CoWaitForMultipleHandles(COWAIT_DISPATCH_WINDOW_MESSAGES | COWAIT_DISPATCH_CALLS, 60000, 1, &thread, &index);
        CloseHandle(thread);
        if (waited == S_OK) {
            EXPECT_EQ(read->created, S_OK);
            EXPECT_EQ(read->found, S_OK);
            EXPECT_EQ(read->named, S_OK);
            EXPECT_EQ(read->name, "Type");
            EXPECT_EQ(read->pattern, S_OK);
            EXPECT_TRUE(read->hasPattern) << "the drop-down list has no expand/collapse pattern";
        } else {
            read->abandoned = true;
            ADD_FAILURE() << "UI Automation did not finish reading the drop-down list within 60 s (wait answered 0x"
                          << std::hex << static_cast<unsigned long>(waited) << "); its thread is left to end on its own";
        }
        d::Click("cmdExit");
    });
    ShowWith(form, script);
}

}  // namespace
}  // namespace starwright
