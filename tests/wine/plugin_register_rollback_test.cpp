// DllRegisterServer failing part-way: it undoes what it wrote, and nothing else.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "plugin/identifiers.h"
#include "tests/wine/plugin_test_support.h"

namespace starwright {
namespace {

using namespace plugin;

const std::wstring kTrees[] = {
    std::wstring(L"CLSID\\") + kPlugInClsidText,
    kProgId,
    std::wstring(L"TypeLib\\") + kLibIdText,
    std::wstring(L"Interface\\") + kPlugInIidText,
};

// Every key and value under `path`, one line each, named from `shown` on.
std::wstring Dump(HKEY parent, const std::wstring& path, const std::wstring& shown) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return L"";
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
        text += Dump(key, name, shown + L"\\" + name);
    }
    RegCloseKey(key);
    return text;
}

std::wstring DumpAll() {
    std::wstring text;
    for (const auto& tree : kTrees) text += Dump(HKEY_CLASSES_ROOT, tree, tree);
    return text;
}

void Write(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// The failure is made by a key that was there: the ProgID as a volatile key, under which
// the registration cannot create its lasting CLSID key. Before it, the registration has
// written its type library and class; all of that must go, and what was there must stay, as
// it was, whether nothing of the plug-in was registered or a registration from another folder.
TEST(PlugInRegistrationTest, AFailedRegistrationUndoesOnlyItsOwnWrites) {
    ASSERT_EQ(test::RegisterHostStub(), S_OK);
    const std::wstring clsidKey = kTrees[0];
    const std::wstring other = L"C:\\Other\\Starwright.dll";
    for (bool registeredElsewhere : {false, true}) {
        SCOPED_TRACE(registeredElsewhere ? "registered from another folder" : "nothing registered");
        for (const auto& tree : kTrees) RegDeleteTreeW(HKEY_CLASSES_ROOT, tree.c_str());
        if (registeredElsewhere) {
            Write(clsidKey, nullptr, kProgId);
            Write(clsidKey, L"Installed", L"by another installer");
            Write(clsidKey + L"\\InprocServer32", nullptr, other);
            Write(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
            Write(kTrees[2] + L"\\2e.0", nullptr, L"Starwright");
            Write(kTrees[2] + L"\\2e.0\\0\\win32", nullptr, other);
        }
        HKEY progId = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, kProgId, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                  &progId, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(progId);
        const std::wstring before = DumpAll();

        const HRESULT hr = test::CallExport("DllRegisterServer");
        EXPECT_TRUE(FAILED(hr)) << test::Hex(hr);
        EXPECT_EQ(DumpAll(), before);
    }
    for (const auto& tree : kTrees) RegDeleteTreeW(HKEY_CLASSES_ROOT, tree.c_str());
}

}  // namespace
}  // namespace starwright
