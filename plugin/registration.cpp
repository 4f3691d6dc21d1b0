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

struct ClassEntry {
    std::wstring key;
    const wchar_t* name;  // nullptr: the key's default value
    std::wstring value;
};

const std::wstring kClassKey = std::wstring(L"CLSID\\") + kPlugInClsidText;

HRESULT WriteString(const ClassEntry& entry) {
    UniqueKey key;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, entry.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE, nullptr, key.Put(), nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    const auto bytes = static_cast<DWORD>((entry.value.size() + 1) * sizeof(wchar_t));
    status = RegSetValueExW(key.Get(), entry.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.value.c_str()),
                            bytes);
    return HRESULT_FROM_WIN32(status);
}

HRESULT DeleteTree(const std::wstring& key) {
    LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
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

// 64-bit Windows keeps a 32-bit and a 64-bit view of the registry, and the two builds of this
// module can be registered side by side: each in its own view's CLSID key, while the ProgID,
// the type library key and (under Wine) the interface key are one for both views.
bool OtherBitnessRegistered() {
    const REGSAM otherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    UniqueKey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, kClassKey.c_str(), 0, KEY_READ | otherView, key.Put()) == ERROR_SUCCESS;
}

HRESULT RegisterTypeLibrary(const std::wstring& modulePath) {
    ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    // Also registers _PlugIn under Interface, marshalled through this library.
    return RegisterTypeLib(library.Get(), const_cast<LPOLESTR>(modulePath.c_str()), nullptr);
}

HRESULT RegisterClass(const std::wstring& modulePath) {
    const ClassEntry entries[] = {
        {kClassKey, nullptr, kProgId},
        {kClassKey + L"\\InprocServer32", nullptr, modulePath},
        {kClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {kClassKey + L"\\ProgID", nullptr, kProgId},
        {kClassKey + L"\\TypeLib", nullptr, kLibIdText},
        {kProgId, nullptr, kProgId},
        {std::wstring(kProgId) + L"\\CLSID", nullptr, kPlugInClsidText},
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
    // Every tree this call writes to, as it stands: a half-registered class would point clients
    // at a server they cannot bind to, so a failure undoes this call's writes; but only those,
    // since a registration that was there (from another folder, say) may be the one that works.
    const RegistryTree before[] = {
        {HKEY_CLASSES_ROOT, kClassKey},
        {HKEY_CLASSES_ROOT, kProgId},
        {HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + kLibIdText},
        {HKEY_CLASSES_ROOT, std::wstring(L"Interface\\") + kPlugInIidText},
    };
    HRESULT hr = RegisterTypeLibrary(modulePath);
    if (SUCCEEDED(hr)) hr = RegisterClass(modulePath);
    if (FAILED(hr))
        for (const RegistryTree& tree : before) tree.Restore();
    return hr;
}

HRESULT UnregisterServer() {
    // Each part is removed even when an earlier one fails; the first failure is reported.
    HRESULT first = DeleteTree(kClassKey);
    // While the other bitness stays registered, what both share stays too: only this module's
    // own entry under the type library goes. (On 32-bit Windows the other view is this one.)
    if (OtherBitnessRegistered()) {
        HRESULT hr = DeleteTree(TypeLibVersionKey() + L"\\" + Hex(kLibLcid) + L"\\" + kLibSysKindText);
        return SUCCEEDED(first) ? hr : first;
    }
    HRESULT hr = DeleteTree(kProgId);
    if (SUCCEEDED(first)) first = hr;
    if (TypeLibRegistered()) {
        hr = UnRegisterTypeLib(kLibId, kLibMajor, kLibMinor, kLibLcid, kLibSysKind);
        if (SUCCEEDED(first)) first = hr;
    }
    return first;
}

}  // namespace starwright::plugin
