// DllRegisterServer and DllUnregisterServer as 64-bit Windows keeps the registry: the class key
// and the interface key have a copy in each registry view (32- and 64-bit), the ProgID and the
// type library key are one for both. Every step is checked in both views.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "plugin/identifiers.h"
#include "tests/wine/plugin_test_support.h"

namespace starwright {
namespace {

using namespace plugin;

constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
const std::wstring kOtherSysKind = sizeof(void*) == 8 ? L"win32" : L"win64";
const std::wstring kClassKey = std::wstring(L"CLSID\\") + kPlugInClsidText;
const std::wstring kInterfaceKey = std::wstring(L"Interface\\") + kPlugInIidText;
const std::wstring kTypeLibKey = std::wstring(L"TypeLib\\") + kLibIdText;
const std::wstring kOtherPath = L"C:\\Other\\Starwright.dll";

// Every tree the registration writes, in each view that has a copy of it (view 0: shared).
struct Tree {
    std::wstring path;
    REGSAM view;
};
const Tree kTrees[] = {
    {kClassKey, kOwnView},     {kClassKey, kOtherView},
    {kInterfaceKey, kOwnView}, {kInterfaceKey, kOtherView},
    {kProgId, 0},              {kTypeLibKey, 0},
};

std::wstring ViewName(REGSAM view) {
    if (view == 0) return L"shared";
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
        text += Dump(HKEY_CLASSES_ROOT, tree.path, tree.view, L"(" + ViewName(tree.view) + L") " + tree.path);
    return text;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

bool Exists(const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
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
    for (const Tree& tree : kTrees) Erase(HKEY_CLASSES_ROOT, tree.path, tree.view);
}

void Write(const std::wstring& path, const wchar_t* name, const std::wstring& value, REGSAM view = 0) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key,
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
    ASSERT_EQ(test::RegisterHostStub(), S_OK);
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
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, kProgId, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                  &progId, nullptr),
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
    ASSERT_EQ(test::RegisterHostStub(), S_OK);
    const struct {
        const char* name;
        bool otherStays;
        bool typeLibGone;
        const char* after;  // Presence() after unregistering
    } cases[] = {
        {"the other bitness stays registered", true, false, "011111"},
        {"this bitness is the last", false, false, "000000"},
        {"this bitness is the last, the type library key gone", false, true, "000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EraseAll();
        Write(kClassKey, nullptr, kProgId, kOtherView);
        Write(kClassKey + L"\\InprocServer32", nullptr, kOtherPath, kOtherView);
        Write(kTypeLibKey + L"\\2e.0\\0\\" + kOtherSysKind, nullptr, kOtherPath);
        ASSERT_EQ(test::CallExport("DllRegisterServer"), S_OK);
        ASSERT_EQ(Presence(), "111111") << Narrow(DumpAll());
        if (!c.otherStays) {
            Erase(HKEY_CLASSES_ROOT, kClassKey, kOtherView);
            Erase(HKEY_CLASSES_ROOT, kTypeLibKey + L"\\2e.0\\0\\" + kOtherSysKind, 0);
        }
        if (c.typeLibGone) Erase(HKEY_CLASSES_ROOT, kTypeLibKey, 0);

        const HRESULT hr = test::CallExport("DllUnregisterServer");
        EXPECT_EQ(hr, S_OK) << test::Hex(hr);
        EXPECT_EQ(Presence(), c.after) << Narrow(DumpAll());
        if (c.otherStays) {
            EXPECT_FALSE(Exists(kTypeLibKey + L"\\2e.0\\0\\" + kLibSysKindText, 0)) << "this module's library entry";
            EXPECT_TRUE(Exists(kTypeLibKey + L"\\2e.0\\0\\" + kOtherSysKind, 0)) << "the other's library entry";
        }
    }
    EraseAll();
}

}  // namespace
}  // namespace starwright
