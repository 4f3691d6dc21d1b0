// The stand-in host: its window as a user drives it, with a stand-in for the plug-in that makes
// host calls from inside DoModal; and its registration of the host's type library, which must
// never disturb a registration that was there before it. That test works in classes of its own:
// HKEY_CLASSES_ROOT is pointed at a key of the user's for this process, so that neither the PC's
// registration of the host nor its rights play a part.

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "demo/host_library.h"
#include "demo/host_window.h"
#include "platform/text_win.h"
#include "plugin/identifiers.h"
#include "plugin/registry_tree.h"
#include "tests/wine/windows_only.h"

namespace starwright::demo {
namespace {

using sim::CallKind;
using sim::Value;

std::vector<std::wstring> Lines(HWND list) {
    std::vector<std::wstring> lines;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring text(static_cast<size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
        text.resize(static_cast<size_t>(SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
        lines.push_back(text);
    }
    return lines;
}

// The lines of a list whose item data marks them (highlighted cards, failed calls).
std::vector<std::wstring> Marked(HWND list) {
    std::vector<std::wstring> marked;
    const std::vector<std::wstring> lines = Lines(list);
    for (size_t i = 0; i < lines.size(); ++i)
        if (SendMessageW(list, LB_GETITEMDATA, i, 0) != 0) marked.push_back(lines[i]);
    return marked;
}

void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

// Answers the "Add image" dialog once it is up: types the name and presses Add.
void CALLBACK AnswerAddImage(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = FindWindowW(L"#32770", L"Add image");
    if (!dialog) return;
    KillTimer(nullptr, timer);
    SetDlgItemTextW(dialog, 100, L"M42_Ha_007.fit");
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

TEST(StandInHost, WindowShowsThePlugInsCallsImagesAndFaults) {
    sim::ManualClock clock;
    sim::SimHost host(&clock);
    std::vector<int> shownWith;
    // The plug-in's part: the calls of a keyword update and a cool-down start, made from inside
    // DoModal; a failed link is tried again, as a user would.
    auto call = [&](const char* object, const char* member, CallKind kind, std::vector<Value> args = {}) {
        try {
            host.Invoke(object, member, kind, std::move(args));
        } catch (const HostError&) {
        }
    };
    auto plugIn = [&](int image) -> HRESULT {
        shownWith.push_back(image);
        clock.Advance(30);
        call("Document(1)", "SetFITSKey", CallKind::Call, {Value::Bstr("SET-TEMP"), Value::R8(-17.8)});
        call("Camera", "Connected", CallKind::Put, {Value::Bool(true)});
        call("Camera", "Connected", CallKind::Put, {Value::Bool(true)});
        call("Camera", "Connected", CallKind::Get);
        call("Camera", "CoolerEnabled", CallKind::Put, {Value::Bool(true)});
        call("Camera", "Setpoint", CallKind::Put, {Value::I2(-50)});
        return S_OK;
    };
    HostWindow window(host, clock, PlugInEntry{L"Starwright 1.0", plugIn});
    window.AddImage("M31_L_001.fit");
    window.AddImage("M31_L_002.fit");
    ASSERT_TRUE(window.Create());
    HWND hwnd = window.Window();
    window.SelectImage(0);

    // Plug-ins menu: the plug-in by its name.
    HMENU plugIns = GetSubMenu(GetMenu(hwnd), 1);
    wchar_t item[64] = {};
    GetMenuStringW(plugIns, HostWindow::kPlugIn, item, 64, MF_BYCOMMAND);
    EXPECT_STREQ(item, L"Starwright 1.0");

    // A switch on the camera panel, clicked there (its own thread), arms a fault of the host.
    ASSERT_TRUE(window.Panel() && window.Panel()->Window());
    SendMessageW(window.Panel()->SwitchBox(Switch::NextCameraCallFails), BM_CLICK, 0, 0);
    Pump();
    ASSERT_EQ(host.faults.size(), 1u);
    EXPECT_EQ(host.faults[0].operation, "Camera.");

    SendMessageW(hwnd, WM_COMMAND, HostWindow::kPlugIn, 0);
    EXPECT_EQ(shownWith, std::vector<int>{1}) << "DoModal with the picked image";
    EXPECT_TRUE(host.faults.empty()) << "the fault is spent on the next camera call";

    const std::vector<std::wstring> log = Lines(window.CallLog());
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[0], L"  0:30  Document(1).SetFITSKey call Bstr \"SET-TEMP\" R8 -17.8  \u2192  OK");
    EXPECT_EQ(log[3], L"  0:30  Camera.Connected get  \u2192  Bool True");
    EXPECT_EQ(log[5], L"  0:30  Camera.Setpoint put I2 -50  \u2192  OK");
    EXPECT_EQ(Marked(window.CallLog()), std::vector<std::wstring>{
                                            L"  0:30  Camera.Connected put Bool True  \u2192  failed 0x80040403 The camera "
                                            L"did not answer (a fault switched on in the stand-in host)"});

    // The header of the picked image, the card the plug-in wrote highlighted.
    const std::vector<std::wstring> cards = Lines(window.HeaderView());
    ASSERT_GE(cards.size(), 3u);
    EXPECT_TRUE(StartsWith(cards[0], L"SIMPLE  =                    T"));
    EXPECT_EQ(cards.back(), L"END");
    const std::vector<std::wstring> written = Marked(window.HeaderView());
    ASSERT_EQ(written.size(), 1u);
    EXPECT_TRUE(StartsWith(written[0], L"SET-TEMP=                -17.8 ")) << ToUtf8(written[0]);
    EXPECT_EQ(written[0].size(), 80u) << "a card of 80 columns";
    window.SelectImage(1);
    EXPECT_TRUE(Marked(window.HeaderView()).empty()) << "the other image was not written";

    // The chart: the link starts its time axis; the set-point is marked; readings follow the clock.
    clock.Advance(60);
    window.Refresh();
    ASSERT_EQ(window.Chart().Marks().size(), 2u);
    EXPECT_EQ(window.Chart().Marks()[1].label, "Set-point \u221250 \u00B0C");
    ASSERT_FALSE(window.Chart().Samples().empty());
    EXPECT_EQ(window.Chart().Samples().back().minutes, 1.0);
    EXPECT_LT(window.Chart().Samples().back().sensor, 15.0) << "the cooler has been on for a minute";

    // File menu: close the picked image, add one through the dialog.
    SendMessageW(hwnd, WM_COMMAND, HostWindow::kCloseImage, 0);
    EXPECT_EQ(Lines(window.ImageList()), std::vector<std::wstring>{L"M31_L_001.fit"});
    SetTimer(nullptr, 0, 10, AnswerAddImage);
    SendMessageW(hwnd, WM_COMMAND, HostWindow::kAddImage, 0);
    EXPECT_EQ(Lines(window.ImageList()), (std::vector<std::wstring>{L"M31_L_001.fit", L"M42_Ha_007.fit"}));
    EXPECT_EQ(SendMessageW(window.ImageList(), LB_GETCURSEL, 0, 0), 1) << "the new image is picked";

    SendMessageW(hwnd, WM_COMMAND, HostWindow::kExit, 0);
    EXPECT_FALSE(IsWindow(hwnd));
    Pump();
}

// Every value under a registry key of HKEY_CLASSES_ROOT, by path, as text; empty when the key is missing.
void ReadTree(const std::wstring& path, std::map<std::wstring, std::wstring>& into) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    into[path] = L"(key)";
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        BYTE data[1024];
        DWORD nameLength = 256, size = sizeof data, type = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        into[path + L"|" + name] = std::to_wstring(type) + L":" + std::wstring(reinterpret_cast<wchar_t*>(data), size / 2);
    }
    std::vector<std::wstring> children;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        children.push_back(name);
    }
    RegCloseKey(key);
    for (const std::wstring& child : children) ReadTree(path + L"\\" + child, into);
}

std::wstring Text(const GUID& id) {
    wchar_t text[40] = {};
    StringFromGUID2(id, text, 40);
    return text;
}

void SetValue(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    RegSetKeyValueW(HKEY_CLASSES_ROOT, path.c_str(), name, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// The classes the test works in, while it runs; removed with all below them when it ends.
// A 32-bit program's RegisterTypeLib writes the interface keys of the 64-bit view past the
// redirection too (Wine's does), so the test runs only where the PC has none of the keys it
// would reach, and removes from the PC's classes what it made there.
class OwnClassesRoot {
public:
    static constexpr wchar_t kPath[] = L"Software\\Starwright test classes";
    explicit OwnClassesRoot(std::vector<std::wstring> reached) : reached_(std::move(reached)) {
        for (const std::wstring& path : reached_)
            for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
                HKEY key = nullptr;
                if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) continue;
                RegCloseKey(key);
                registered_ = "HKEY_CLASSES_ROOT\\" + ToUtf8(path);
            }
        if (!registered_.empty()) return;
        RegDeleteTreeW(HKEY_CURRENT_USER, kPath);  // a run ended by force left it
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr) == ERROR_SUCCESS)
            overridden_ = RegOverridePredefKey(HKEY_CLASSES_ROOT, key_) == ERROR_SUCCESS;
    }
    ~OwnClassesRoot() {
        if (!registered_.empty()) return;
        if (overridden_) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        if (key_) RegCloseKey(key_);
        RegDeleteTreeW(HKEY_CURRENT_USER, kPath);
        for (const std::wstring& path : reached_)
            for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
                plugin::DeleteRegistryTree(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + path, view);
    }
    // What of the host's the PC has registered, where it has some; empty where it has none.
    const std::string& Registered() const { return registered_; }
    OwnClassesRoot(const OwnClassesRoot&) = delete;
    OwnClassesRoot& operator=(const OwnClassesRoot&) = delete;
    bool Ready() const { return overridden_; }

private:
    std::vector<std::wstring> reached_;
    std::string registered_;
    HKEY key_ = nullptr;
    bool overridden_ = false;
};

TEST(StandInHost, RegistersTheHostLibraryOnlyWhereNoneIsAndRemovesExactlyThat) {
    // The 64-bit view's interface keys, which a 32-bit registration writes, are the machine's.
    STARWRIGHT_NEEDS_ADMINISTRATOR();
    const std::wstring library = L"TypeLib\\" + Text(plugin::kHostLibId);
    const std::wstring document = L"Interface\\" + Text(plugin::kHostDocumentIid);
    const OwnClassesRoot classes({library, document});
    if (!classes.Registered().empty())
        GTEST_SKIP() << "the host's type library is registered on this PC (" << classes.Registered()
                     << "): this test would register the stand-in's over it";
    ASSERT_TRUE(classes.Ready());
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring stub(self);
    stub = stub.substr(0, stub.find_last_of(L"\\/") + 1) + L"MaxIm_DL.exe";
    auto registry = [&] {
        std::map<std::wstring, std::wstring> values;
        ReadTree(library, values);
        ReadTree(document, values);
        return values;
    };
    auto clear = [&] {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, library.c_str());
        RegDeleteTreeW(HKEY_CLASSES_ROOT, document.c_str());
    };

    enum class Before { Nothing, RealHost, OwnLeftover };
    struct Case {
        const char* name;
        Before before;
    };
    for (const Case& c : {Case{"nothing registered", Before::Nothing}, Case{"the real host is installed", Before::RealHost},
                          Case{"left by a stand-in host ended by force", Before::OwnLeftover}}) {
        SCOPED_TRACE(c.name);
        clear();
        if (c.before == Before::RealHost) {
            SetValue(library + L"\\1.0", nullptr, L"MaxIm DL 6 Type Library");
            SetValue(library + L"\\1.0\\0\\win32", nullptr, L"C:\\Program Files\\MaxIm DL 6\\MaxIm_DL.exe");
            SetValue(document, nullptr, L"Document");
            SetValue(document + L"\\TypeLib", nullptr, Text(plugin::kHostLibId));
        }
        if (c.before == Before::OwnLeftover) {
            ITypeLib* leftover = nullptr;
            ASSERT_EQ(LoadTypeLibEx(stub.c_str(), REGKIND_REGISTER, &leftover), S_OK);
            leftover->Release();
        }
        const auto before = registry();
        {
            HostLibrary registration(stub);
            if (c.before == Before::RealHost) {
                EXPECT_EQ(registration.Status(), HostLibrary::State::AlreadyRegistered);
                EXPECT_EQ(registry(), before) << "the host's registration is left as it was";
            } else {
                EXPECT_EQ(registration.Status(), HostLibrary::State::Registered);
                BSTR path = nullptr;
                ASSERT_EQ(QueryPathOfRegTypeLib(plugin::kHostLibId, 1, 0, 0, &path), S_OK);
                const std::wstring registered(path);
                EXPECT_TRUE(registered.size() >= stub.size() && registered.compare(registered.size() - stub.size(), stub.size(), stub) == 0)
                    << "the stub resolves: " << ToUtf8(registered);
                SysFreeString(path);
            }
        }
        if (c.before == Before::OwnLeftover) EXPECT_TRUE(registry().empty()) << "its own leftover goes too";
        else EXPECT_EQ(registry(), before) << "at exit, exactly what was there before";
    }
    clear();
}

}  // namespace
}  // namespace starwright::demo
