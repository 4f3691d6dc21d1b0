// DllRegisterServer and DllUnregisterServer as 64-bit Windows keeps the registry: the class key
// and the interface key have a copy in each registry view (32- and 64-bit), the ProgID and the
// type library key are one for both. Every step is checked in both views of the machine's
// classes (HKLM\Software\Classes), where every user and every host, elevated or not, finds
// the registration.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "plugin/identifiers.h"
#include "plugin/registry_tree.h"
#include "tests/wine/plugin_test_support.h"
#include "tests/wine/windows_only.h"

namespace starwright {
namespace {

using namespace plugin;
using plugin::RegistryTree;

constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
// The keys both views share, reached in the 64-bit one (Wine gives a 32-bit view of a ProgID a
// copy of its own, which Windows does not have).
constexpr REGSAM kShared = KEY_WOW64_64KEY;
const std::wstring kOtherSysKind = sizeof(void*) == 8 ? L"win32" : L"win64";
const std::wstring kClasses = L"Software\\Classes\\";
const std::wstring kClassKey = kClasses + L"CLSID\\" + kPlugInClsidText;
const std::wstring kInterfaceKey = kClasses + L"Interface\\" + kPlugInIidText;
const std::wstring kProgIdKey = kClasses + kProgId;
const std::wstring kTypeLibKey = kClasses + L"TypeLib\\" + kLibIdText;
const std::wstring kOtherPath = L"C:\\Other\\Starwright.dll";  // a file that is not there

// Every tree the registration writes, in each view that has a copy of it.
struct Tree {
    std::wstring path;
    REGSAM view;
};
const Tree kTrees[] = {
    {kClassKey, kOwnView},     {kClassKey, kOtherView},
    {kInterfaceKey, kOwnView}, {kInterfaceKey, kOtherView},
    {kProgIdKey, kShared},     {kTypeLibKey, kShared},
};

// 32-bit Windows has one registry view, where the view flags name the same keys: the tests that
// tell the views apart are skipped there, saying so.
bool OneRegistryView() {
    BOOL wow64 = FALSE;
    return sizeof(void*) == 4 && !(IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}
#define STARWRIGHT_NEEDS_TWO_REGISTRY_VIEWS()                                                           \
    if (OneRegistryView()) GTEST_SKIP() << "needs 64-bit Windows: 32-bit Windows has one registry view, where " \
                                           "the two this test tells apart are one"

std::wstring ViewName(REGSAM view) {
    if (view == kShared) return L"shared";
    return view == KEY_WOW64_32KEY ? L"32-bit view" : L"64-bit view";
}

// Every key and value under `path` in `view`, one line each, named from `shown` on. A key opened
// in a view is read on in that view: its subkeys are opened with the same flag.
std::wstring Dump(HKEY parent, const std::wstring& path, REGSAM view, const std::wstring& shown) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return L"";
    std::wstring text = shown + L"\n";
    wchar_t name[256];
    BYTE data[1024];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 256, dataLength = sizeof data, type = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS) break;
        text += shown + L" [" + name + L"] " + std::to_wstring(type) + L" = " +
                std::wstring(reinterpret_cast<wchar_t*>(data), dataLength / sizeof(wchar_t)) + L"\n";
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        text += Dump(key, name, view, shown + L"\\" + name);
    }
    RegCloseKey(key);
    return text;
}

std::wstring DumpAll() {
    std::wstring text;
    for (const Tree& tree : kTrees)
        text += Dump(HKEY_LOCAL_MACHINE, tree.path, tree.view, L"(" + ViewName(tree.view) + L") " + tree.path);
    return text;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

bool Exists(const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Which trees are there, in kTrees' order: one character each, 1 there, 0 not.
std::string Presence() {
    std::string present;
    for (const Tree& tree : kTrees) present += Exists(tree.path, tree.view) ? '1' : '0';
    return present;
}

void Erase(HKEY parent, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return;
    wchar_t name[256];
    for (DWORD nameLength = 256; RegEnumKeyExW(key, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr) ==
                                 ERROR_SUCCESS;
         nameLength = 256)
        Erase(key, name, view);
    RegCloseKey(key);
    RegDeleteKeyExW(parent, path.c_str(), view, 0);
}

void EraseAll() {
    for (const Tree& tree : kTrees) Erase(HKEY_LOCAL_MACHINE, tree.path, tree.view);
}

void Write(const std::wstring& path, const wchar_t* name, const std::wstring& value, REGSAM view = kShared,
           HKEY root = HKEY_LOCAL_MACHINE) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// The failure is made by a key that was there: the ProgID as a volatile key, under which
// the registration cannot create its lasting CLSID key. Before it, the registration has
// written its type library, the interface key in both views and its class; all of that must
// go, and what was there must stay, as it was, whether nothing of the plug-in was registered or
// a registration from another folder.
TEST(PlugInRegistrationTest, AFailedRegistrationUndoesOnlyItsOwnWritesInBothViews) {
    STARWRIGHT_NEEDS_ADMINISTRATOR();
    STARWRIGHT_NEEDS_PLUGIN_UNREGISTERED();
    ASSERT_EQ(test::HostLibraryFound(), S_OK);
    for (bool registeredElsewhere : {false, true}) {
        SCOPED_TRACE(registeredElsewhere ? "registered from another folder" : "nothing registered");
        EraseAll();
        if (registeredElsewhere) {
            Write(kClassKey, nullptr, kProgId, kOwnView);
            Write(kClassKey, L"Installed", L"by another installer", kOwnView);
            Write(kClassKey + L"\\InprocServer32", nullptr, kOtherPath, kOwnView);
            Write(kClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment", kOwnView);
            Write(kTypeLibKey + L"\\2e.0", nullptr, L"Starwright");
            Write(kTypeLibKey + L"\\2e.0\\0\\" + kLibSysKindText, nullptr, kOtherPath);
        }
        HKEY progId = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProgIdKey.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                  KEY_ALL_ACCESS | kShared, nullptr, &progId, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(progId);
        const std::wstring before = DumpAll();

        const HRESULT hr = test::CallExport("DllRegisterServer");
        EXPECT_TRUE(FAILED(hr)) << test::Hex(hr);
        EXPECT_EQ(Narrow(DumpAll()), Narrow(before));
    }
    EraseAll();
}

// With the other bitness registered beside this one (its class in the other view, its entry
// under the type library), unregistering this one keeps what the other still needs: its class,
// the ProgID, the type library and the interface key in both views, which its own registration
// wrote there. The last one to go leaves nothing in either view, also when the type library's
// key has gone already and UnRegisterTypeLib cannot find the interface keys through it.
TEST(PlugInRegistrationTest, UnregisteringKeepsWhatTheOtherBitnessNeedsAndTheLastLeavesNothing) {
    STARWRIGHT_NEEDS_TWO_REGISTRY_VIEWS();
    STARWRIGHT_NEEDS_ADMINISTRATOR();
    STARWRIGHT_NEEDS_PLUGIN_UNREGISTERED();
    ASSERT_EQ(test::HostLibraryFound(), S_OK);
    // The other's file: one that is there (this program), or one deleted or quarantined.
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const struct {
        const char* name;
        bool otherStays;
        bool otherFileThere;
        bool typeLibGone;
        const char* after;  // Presence() after unregistering
    } cases[] = {
        {"the other bitness stays registered", true, true, false, "011111"},
        {"the other bitness's file is gone", true, false, false, "000000"},
        {"this bitness is the last", false, true, false, "000000"},
        {"this bitness is the last, the type library key gone", false, true, true, "000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EraseAll();
        Write(kClassKey, nullptr, kProgId, kOtherView);
        Write(kClassKey + L"\\InprocServer32", nullptr, c.otherFileThere ? program : kOtherPath, kOtherView);
        Write(kTypeLibKey + L"\\2e.0\\0\\" + kOtherSysKind, nullptr, kOtherPath);
        ASSERT_EQ(test::CallExport("DllRegisterServer"), S_OK);
        ASSERT_EQ(Presence(), "111111") << Narrow(DumpAll());
        if (!c.otherStays) {
            Erase(HKEY_LOCAL_MACHINE, kClassKey, kOtherView);
            Erase(HKEY_LOCAL_MACHINE, kTypeLibKey + L"\\2e.0\\0\\" + kOtherSysKind, kShared);
        }
        if (c.typeLibGone) Erase(HKEY_LOCAL_MACHINE, kTypeLibKey, kShared);

        const HRESULT hr = test::CallExport("DllUnregisterServer");
        EXPECT_EQ(hr, S_OK) << test::Hex(hr);
        EXPECT_EQ(Presence(), c.after) << Narrow(DumpAll());
        if (c.after == std::string("011111")) {
            EXPECT_FALSE(Exists(kTypeLibKey + L"\\2e.0\\0\\" + kLibSysKindText, kShared)) << "this module's library entry";
            EXPECT_TRUE(Exists(kTypeLibKey + L"\\2e.0\\0\\" + kOtherSysKind, kShared)) << "the other's library entry";
        }
    }
    EraseAll();
}

// A per-user copy of one of the plug-in's own keys, planted in the user's classes in one view;
// what the user had there is put back when it goes: a copy of their own, and no key the test
// made on the way to it.
class PlantedUserKey {
public:
    PlantedUserKey(const std::wstring& path, REGSAM view) : path_(path), view_(view), before_(HKEY_CURRENT_USER, path, view) {
        for (size_t end = 0; (end = path.find(L'\\', end + 1)) != std::wstring::npos;) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, path.substr(0, end).c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
                made_ = path.substr(0, end);
                break;
            }
            RegCloseKey(key);
        }
    }
    ~PlantedUserKey() {
        before_.Restore();
        if (!made_.empty()) Erase(HKEY_CURRENT_USER, made_, view_);
    }
    PlantedUserKey(const PlantedUserKey&) = delete;
    PlantedUserKey& operator=(const PlantedUserKey&) = delete;

    void Plant() const { Write(path_, nullptr, L"C:\\Old\\Starwright.dll", view_, HKEY_CURRENT_USER); }
    bool There() const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ | view_, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }

private:
    std::wstring path_;
    REGSAM view_;
    RegistryTree before_;
    std::wstring made_;  // the first key on the way that was not there, if any
};

// The class's in-process server as HKEY_CLASSES_ROOT shows it to this process, in its own view.
std::wstring ClassesRootServer() {
    HKEY key = nullptr;
    const std::wstring path = L"CLSID\\" + std::wstring(kPlugInClsidText) + L"\\InprocServer32";
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE | kOwnView, &key) != ERROR_SUCCESS) return L"";
    wchar_t value[MAX_PATH + 1] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return value;
}

// A registration and an unregistration beside stale per-user copies of the plug-in's own keys
// (class, interface, ProgID, type library, in both views), as an earlier per-user registration
// left them. They land in the machine's classes, in both views, and each removes the copies: on
// Windows a per-user key wins over the machine's in HKEY_CLASSES_ROOT.
void RegisterBesideUsersOwnCopies(bool classesRootIsTheUsers) {
    ASSERT_EQ(test::HostLibraryFound(), S_OK);
    EraseAll();
    std::vector<std::unique_ptr<PlantedUserKey>> copies;
    for (const std::wstring& path : {kClassKey, kInterfaceKey, kProgIdKey, kTypeLibKey})
        for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
            copies.push_back(std::make_unique<PlantedUserKey>(path, view));
    const auto plant = [&] {
        for (const auto& copy : copies) copy->Plant();
    };
    const auto left = [&] {
        std::string there;
        for (const auto& copy : copies) there += copy->There() ? '1' : '0';
        return there;
    };
    plant();
    ASSERT_EQ(left(), "11111111") << "the per-user copies planted";
    if (classesRootIsTheUsers) {
        HKEY userClasses = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, KEY_ALL_ACCESS, &userClasses),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, userClasses), ERROR_SUCCESS);
        RegCloseKey(userClasses);
    }

    const HRESULT registered = test::CallExport("DllRegisterServer");
    const std::string afterRegistering = Presence();
    const std::string userAfterRegistering = left();
    const std::wstring merged = ClassesRootServer();
    plant();
    const HRESULT unregistered = test::CallExport("DllUnregisterServer");
    const std::string afterUnregistering = Presence();
    const std::string userAfterUnregistering = left();
    if (classesRootIsTheUsers) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    copies.clear();

    EXPECT_EQ(registered, S_OK) << test::Hex(registered);
    EXPECT_EQ(afterRegistering, "101111") << "the machine's classes after registering";
    EXPECT_EQ(userAfterRegistering, "00000000") << "the user's copies after registering";
    if (!classesRootIsTheUsers) {
        EXPECT_EQ(CompareStringOrdinal(merged.c_str(), -1, test::BesideTest(L"Starwright.dll").c_str(), -1, TRUE),
                  CSTR_EQUAL)
            << Narrow(merged)
            << ": the server HKEY_CLASSES_ROOT shows this user after registering";
    }
    EXPECT_EQ(unregistered, S_OK) << test::Hex(unregistered);
    EXPECT_EQ(afterUnregistering, "000000") << "the machine's classes after unregistering";
    EXPECT_EQ(userAfterUnregistering, "00000000") << "the user's copies after unregistering";
    EraseAll();
}

// On Windows, a write through HKEY_CLASSES_ROOT goes to the user's own classes whenever the key
// exists there, and an elevated host never reads them; a per-user key wins over the machine's
// for that user. Wine does not merge the two, so this test makes that view: HKEY_CLASSES_ROOT is
// pointed at HKCU\Software\Classes for this process. On Windows, the merged view itself then shows
// the machine's registration.
TEST(PlugInRegistrationTest, RegistrationIsTheMachinesWhateverTheUsersClassesHold) {
    STARWRIGHT_NEEDS_TWO_REGISTRY_VIEWS();
    STARWRIGHT_NEEDS_ADMINISTRATOR();
    STARWRIGHT_NEEDS_PLUGIN_UNREGISTERED();
    RegisterBesideUsersOwnCopies(true);
}

TEST(PlugInRegistrationTest, RegistrationIsTheMachinesInWindowsOwnMergedView) {
    STARWRIGHT_WINDOWS_ONLY("Wine 8 does not merge the user's classes into HKEY_CLASSES_ROOT; "
                            "RegistrationIsTheMachinesWhateverTheUsersClassesHold makes that view itself");
    STARWRIGHT_NEEDS_TWO_REGISTRY_VIEWS();
    STARWRIGHT_NEEDS_ADMINISTRATOR();
    STARWRIGHT_NEEDS_PLUGIN_UNREGISTERED();
    RegisterBesideUsersOwnCopies(false);
}

// Runs a program and waits for it; its exit code, or -1 when it did not start.
long RunProgram(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return static_cast<long>(code);
}

// Both builds, as the test kit holds them, registered with the regsvr32 of their own bitness and
// unregistered again, read in Windows' own views after each step: the class in its own view,
// the interface key in both, and what both share kept until the last one goes.
TEST(PlugInRegistrationTest, BothBitnessesSideBySideInWindowsOwnViews) {
    STARWRIGHT_WINDOWS_ONLY("under Wine, plugin_registration.sh runs both regsvr32s on both DLLs and reads "
                            "both views with both reg.exes");
    STARWRIGHT_NEEDS_ADMINISTRATOR();
    STARWRIGHT_NEEDS_PLUGIN_UNREGISTERED();
    STARWRIGHT_NEEDS_TWO_REGISTRY_VIEWS();
    // On ARM64 Windows the 64-bit regsvr32 is an ARM64 program, which cannot load the x64 DLL.
    USHORT process = 0, native = 0;
    using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    const auto query = test::ExportOf<IsWow64Process2Fn>(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2");
    if (query && query(GetCurrentProcess(), &process, &native) && native == 0xAA64)
        GTEST_SKIP() << "needs x64 Windows: on ARM64 Windows the 64-bit regsvr32 cannot load the x64 DLL";
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    // A 32-bit program reaches the 64-bit system folder as Sysnative.
    const std::wstring regsvr32[] = {std::wstring(windows) + L"\\SysWOW64\\regsvr32.exe",
                                     std::wstring(windows) + (sizeof(void*) == 8 ? L"\\System32" : L"\\Sysnative") +
                                         L"\\regsvr32.exe"};
    const std::wstring dll[] = {test::BesideTest(L"..\\32-bit\\Starwright.dll"),
                                test::BesideTest(L"..\\64-bit\\Starwright.dll")};
    for (const std::wstring& file : dll)
        ASSERT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES) << "the kit's " << Narrow(file);
    // Presence() in absolute views: the class and the interface key in the 32- and the 64-bit
    // view, then the ProgID and the type library.
    const auto views = [] {
        const std::string present = Presence();
        return sizeof(void*) == 8 ? std::string{present[1], present[0], present[3], present[2], present[4], present[5]}
                                  : present;
    };
    const struct {
        const char* step;
        int bits;  // 0: 32-bit, 1: 64-bit
        bool unregister;
        const char* after;
    } steps[] = {
        {"register the 32-bit DLL", 0, false, "101111"}, {"register the 64-bit DLL", 1, false, "111111"},
        {"unregister the 32-bit DLL", 0, true, "011111"}, {"unregister the 64-bit DLL", 1, true, "000000"},
        {"register the 64-bit DLL", 1, false, "011111"}, {"register the 32-bit DLL", 0, false, "111111"},
        {"unregister the 64-bit DLL", 1, true, "101111"}, {"unregister the 32-bit DLL", 0, true, "000000"},
    };
    EraseAll();
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        const long code = RunProgram(L"\"" + regsvr32[step.bits] + L"\" /s " + (step.unregister ? L"/u " : L"") + L"\"" +
                              dll[step.bits] + L"\"");
        EXPECT_EQ(code, 0);
        EXPECT_EQ(views(), step.after) << Narrow(DumpAll());
    }
    EraseAll();
}

}  // namespace
}  // namespace starwright
