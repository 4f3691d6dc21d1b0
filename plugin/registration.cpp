#include "plugin/registration.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <string>

#include "plugin/identifiers.h"
#include "plugin/module.h"
#include "plugin/registry_tree.h"

using Microsoft::WRL::ComPtr;

namespace starwright::plugin {

namespace {

// 64-bit Windows (7 and later) keeps two registry views of Classes, one for 32-bit and one for
// 64-bit programs: CLSID and Interface have a copy in each, while the ProgID (and everything else
// at the top of Classes) and TypeLib are one key for both. The two builds of this module can be
// registered side by side, each with its class in its own view. RegisterTypeLib writes the
// interface key into both views, so that either bitness can marshal _PlugIn to the other, and
// UnRegisterTypeLib removes it from both. Wine 8 keeps the same keys apart and shares the same
// ones (README, "Registry views"). On 32-bit Windows there is one view and both flags name it.
constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
// The keys shared by both views are reached without a view flag: Wine sends a 64-bit program
// that asks for the 32-bit view of a ProgID to a copy of its own, which Windows does not have.
constexpr REGSAM kShared = 0;

struct ClassEntry {
    std::wstring key;
    const wchar_t* name;  // nullptr: the key's default value
    std::wstring value;
    REGSAM view;
};

const std::wstring kClassKey = std::wstring(L"CLSID\\") + kPlugInClsidText;
const std::wstring kInterfaceKey = std::wstring(L"Interface\\") + kPlugInIidText;

HRESULT WriteString(const ClassEntry& entry) {
    UniqueKey key;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, entry.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE | entry.view, nullptr, key.Put(), nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    const auto bytes = static_cast<DWORD>((entry.value.size() + 1) * sizeof(wchar_t));
    status = RegSetValueExW(key.Get(), entry.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.value.c_str()),
                            bytes);
    return HRESULT_FROM_WIN32(status);
}

HRESULT DeleteTree(const std::wstring& key, REGSAM view) {
    LSTATUS status = DeleteRegistryTree(HKEY_CLASSES_ROOT, key, view);
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    return HRESULT_FROM_WIN32(status);
}

// The registry names type library versions and locales in lower-case hex: 46.0 is "2e.0".
std::wstring Hex(unsigned long value) {
    std::wstring text;
    do {
        text.insert(text.begin(), L"0123456789abcdef"[value % 16]);
        value /= 16;
    } while (value != 0);
    return text;
}

std::wstring TypeLibVersionKey() {
    return std::wstring(L"TypeLib\\") + kLibIdText + L"\\" + Hex(kLibMajor) + L"." + Hex(kLibMinor);
}

bool TypeLibRegistered() {
    UniqueKey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, TypeLibVersionKey().c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

// Whether the other build of this module is registered: its in-process server key, which is
// what makes the class creatable in that view.
bool OtherBitnessRegistered() {
    UniqueKey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, (kClassKey + L"\\InprocServer32").c_str(), 0, KEY_READ | kOtherView,
                         key.Put()) == ERROR_SUCCESS;
}

HRESULT RegisterTypeLibrary(const std::wstring& modulePath) {
    ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    // Also registers _PlugIn under Interface, in both views, marshalled through this library.
    return RegisterTypeLib(library.Get(), const_cast<LPOLESTR>(modulePath.c_str()), nullptr);
}

HRESULT RegisterClass(const std::wstring& modulePath) {
    const ClassEntry entries[] = {
        {kClassKey, nullptr, kProgId, kOwnView},
        {kClassKey + L"\\InprocServer32", nullptr, modulePath, kOwnView},
        {kClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment", kOwnView},
        {kClassKey + L"\\ProgID", nullptr, kProgId, kOwnView},
        {kClassKey + L"\\TypeLib", nullptr, kLibIdText, kOwnView},
        {kProgId, nullptr, kProgId, kShared},
        {std::wstring(kProgId) + L"\\CLSID", nullptr, kPlugInClsidText, kShared},
    };
    for (const auto& entry : entries) {
        HRESULT hr = WriteString(entry);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

}  // namespace

HRESULT RegisterServer() {
    const std::wstring modulePath = ModulePath();
    // Every tree this call writes to, in every view it writes to, as it stands: a
    // half-registered class would point clients at a server they cannot bind to, so a failure
    // undoes this call's writes; but only those, since a registration that was there (from
    // another folder, say, or of the other bitness) may be the one that works.
    const RegistryTree before[] = {
        {HKEY_CLASSES_ROOT, kClassKey, kOwnView},
        {HKEY_CLASSES_ROOT, kProgId, kShared},
        {HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + kLibIdText, kShared},
        {HKEY_CLASSES_ROOT, kInterfaceKey, kOwnView},
        {HKEY_CLASSES_ROOT, kInterfaceKey, kOtherView},
    };
    HRESULT hr = RegisterTypeLibrary(modulePath);
    if (SUCCEEDED(hr)) hr = RegisterClass(modulePath);
    if (FAILED(hr))
        for (const RegistryTree& tree : before) tree.Restore();
    return hr;
}

HRESULT UnregisterServer() {
    // Each part is removed even when an earlier one fails; the first failure is reported.
    HRESULT first = DeleteTree(kClassKey, kOwnView);
    // While the other bitness stays registered, what both share stays too, the interface key in
    // both views with it, since the other's registration wrote it there: only this module's own
    // entry under the type library goes. (On 32-bit Windows the other view is this one.)
    if (OtherBitnessRegistered()) {
        HRESULT hr = DeleteTree(TypeLibVersionKey() + L"\\" + Hex(kLibLcid) + L"\\" + kLibSysKindText, kShared);
        return SUCCEEDED(first) ? hr : first;
    }
    HRESULT hr = DeleteTree(kProgId, kShared);
    if (SUCCEEDED(first)) first = hr;
    if (TypeLibRegistered()) {
        hr = UnRegisterTypeLib(kLibId, kLibMajor, kLibMinor, kLibLcid, kLibSysKind);
        if (SUCCEEDED(first)) first = hr;
    }
    // UnRegisterTypeLib finds the interface key through the library's registration, which may
    // be gone or point at a file that no longer loads; no bitness needs the key any more, so
    // whatever is left of it goes from both views.
    for (const REGSAM view : {kOwnView, kOtherView}) {
        hr = DeleteTree(kInterfaceKey, view);
        if (SUCCEEDED(first)) first = hr;
    }
    return first;
}

}  // namespace starwright::plugin
