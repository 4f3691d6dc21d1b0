#include "plugin/registration.h"

#include <string>

#include "plugin/identifiers.h"
#include "plugin/module.h"
#include "plugin/registry_tree.h"

namespace starwright::plugin {

namespace {

// Every key is written to and removed from the machine's classes, HKLM\Software\Classes, and
// never through HKEY_CLASSES_ROOT. On Windows that merged view sends a write to the user's own
// classes (HKCU\Software\Classes) whenever the key already exists there, so one stale per-user
// key would take the registration for the administrator running setup (or for SYSTEM under a
// deployment tool), where other users and any elevated host never look; and unregistering
// would remove that key and leave the machine's behind. The type library's keys are written
// here too, rather than by RegisterTypeLib, which writes through the merged view. Nothing
// process-wide is redirected: the module may be registered from inside a host.
const HKEY kRoot = HKEY_LOCAL_MACHINE;
const std::wstring kClasses = L"Software\\Classes\\";

// 64-bit Windows (7 and later) keeps two registry views of Classes, one for 32-bit and one for
// 64-bit programs: CLSID and Interface have a copy in each, while the ProgID (and everything else
// at the top of Classes) and TypeLib are one key for both. The two builds of this module can be
// registered side by side, each with its class in its own view, and the interface key in both,
// so that either bitness can marshal _PlugIn to the other. Wine 8 keeps the same keys apart and
// shares the same ones (docs/registry.md). On 32-bit Windows there is one view and both
// flags name it.
constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
// The keys shared by both views are reached in the 64-bit one, which is where they are: Wine
// gives a program that asks for the 32-bit view of a ProgID a copy of its own under Wow6432Node,
// which Windows does not have (and a 32-bit program asks for that view unless told otherwise).
constexpr REGSAM kShared = KEY_WOW64_64KEY;

// The system's proxy for dual and automation interfaces, which marshals through the type library.
constexpr wchar_t kAutomationProxy[] = L"{00020424-0000-0000-C000-000000000046}";

struct Entry {
    std::wstring key;
    const wchar_t* name;  // nullptr: the key's default value
    std::wstring value;
    REGSAM view;
};

const std::wstring kClassKey = kClasses + L"CLSID\\" + kPlugInClsidText;
const std::wstring kInterfaceKey = kClasses + L"Interface\\" + kPlugInIidText;
const std::wstring kProgIdKey = kClasses + kProgId;
const std::wstring kTypeLibKey = kClasses + L"TypeLib\\" + kLibIdText;

HRESULT WriteString(const Entry& entry) {
    UniqueKey key;
    LSTATUS status = RegCreateKeyExW(kRoot, entry.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE | entry.view, nullptr, key.Put(), nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    const auto bytes = static_cast<DWORD>((entry.value.size() + 1) * sizeof(wchar_t));
    status = RegSetValueExW(key.Get(), entry.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.value.c_str()),
                            bytes);
    return HRESULT_FROM_WIN32(status);
}

HRESULT DeleteTree(const std::wstring& key, REGSAM view) {
    LSTATUS status = DeleteRegistryTree(kRoot, key, view);
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

const std::wstring kVersion = Hex(kLibMajor) + L"." + Hex(kLibMinor);
const std::wstring kTypeLibVersionKey = kTypeLibKey + L"\\" + kVersion;
const std::wstring kTypeLibOwnEntry = kTypeLibVersionKey + L"\\" + Hex(kLibLcid) + L"\\" + kLibSysKindText;

// Whether the other build of this module is registered: its in-process server key, which is
// what makes the class creatable in that view, naming a file that is there. A registration
// whose file is gone (deleted, quarantined by a virus scanner) serves no host: it counts as
// absent, so that unregistering the build that is left removes everything. A path that cannot
// be read or checked (or is not a plain string, as this module writes it) counts as there.
bool OtherBitnessRegistered() {
    UniqueKey key;
    if (RegOpenKeyExW(kRoot, (kClassKey + L"\\InprocServer32").c_str(), 0, KEY_QUERY_VALUE | kOtherView,
                      key.Put()) != ERROR_SUCCESS)
        return false;
    wchar_t path[MAX_PATH + 2] = {};
    DWORD size = sizeof path - sizeof(wchar_t), type = 0;
    if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return true;
    std::wstring file(path);
    if (file.size() >= 2 && file.front() == L'"' && file.back() == L'"') file = file.substr(1, file.size() - 2);
#if !defined(_WIN64)
    // On 64-bit Windows this 32-bit process sees System32 as SysWOW64: the other build's file
    // is looked for where its own loader finds it. (On 32-bit Windows this fails, and changes
    // nothing.)
    PVOID redirection = nullptr;
    const BOOL unredirected = Wow64DisableWow64FsRedirection(&redirection);
#endif
    const DWORD attributes = GetFileAttributesW(file.c_str());
    const DWORD error = GetLastError();
#if !defined(_WIN64)
    if (unredirected) Wow64RevertWow64FsRedirection(redirection);
#endif
    if (attributes != INVALID_FILE_ATTRIBUTES) return true;
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME;
}

// A per-user registration of this module's own identifiers, in the user's classes
// (HKCU\Software\Classes), wins over the machine's for that user in HKEY_CLASSES_ROOT on
// Windows: the user's hosts would load the file it names, an old version or none at all. The
// module registers nothing per user, so such a copy is always stale, left by an earlier per-user
// registration; it goes, in both views (on 32-bit Windows both flags name the one view).
HRESULT RemoveUsersOwnCopies() {
    const std::wstring keys[] = {kClassKey, kInterfaceKey, kProgIdKey, kTypeLibKey};
    HRESULT first = S_OK;
    for (const std::wstring& path : keys) {
        for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            const LSTATUS status = DeleteRegistryTree(HKEY_CURRENT_USER, path, view);
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(first))
                first = HRESULT_FROM_WIN32(status);
        }
    }
    return first;
}

// The folder of a path, without its final "\".
std::wstring FolderOf(const std::wstring& path) {
    const size_t last = path.find_last_of(L'\\');
    return last == std::wstring::npos ? std::wstring() : path.substr(0, last);
}

HRESULT WriteAll(const std::wstring& modulePath) {
    const Entry entries[] = {
        // The type library, as RegisterTypeLib lays it out: the library's name, this bitness's
        // file, no flags, the help folder (the file's own, there being no help file).
        {kTypeLibVersionKey, nullptr, kLibName, kShared},
        {kTypeLibOwnEntry, nullptr, modulePath, kShared},
        {kTypeLibVersionKey + L"\\FLAGS", nullptr, L"0", kShared},
        {kTypeLibVersionKey + L"\\HELPDIR", nullptr, FolderOf(modulePath), kShared},
        // _PlugIn, marshalled through the type library, in both views.
        {kInterfaceKey, nullptr, L"_PlugIn", kOwnView},
        {kInterfaceKey + L"\\ProxyStubClsid", nullptr, kAutomationProxy, kOwnView},
        {kInterfaceKey + L"\\ProxyStubClsid32", nullptr, kAutomationProxy, kOwnView},
        {kInterfaceKey + L"\\TypeLib", nullptr, kLibIdText, kOwnView},
        {kInterfaceKey + L"\\TypeLib", L"Version", kVersion, kOwnView},
        {kInterfaceKey, nullptr, L"_PlugIn", kOtherView},
        {kInterfaceKey + L"\\ProxyStubClsid", nullptr, kAutomationProxy, kOtherView},
        {kInterfaceKey + L"\\ProxyStubClsid32", nullptr, kAutomationProxy, kOtherView},
        {kInterfaceKey + L"\\TypeLib", nullptr, kLibIdText, kOtherView},
        {kInterfaceKey + L"\\TypeLib", L"Version", kVersion, kOtherView},
        // The class, in this bitness's view, and its ProgID.
        {kClassKey, nullptr, kProgId, kOwnView},
        {kClassKey + L"\\InprocServer32", nullptr, modulePath, kOwnView},
        {kClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment", kOwnView},
        {kClassKey + L"\\ProgID", nullptr, kProgId, kOwnView},
        {kClassKey + L"\\TypeLib", nullptr, kLibIdText, kOwnView},
        {kProgIdKey, nullptr, kProgId, kShared},
        {kProgIdKey + L"\\CLSID", nullptr, kPlugInClsidText, kShared},
    };
    for (const auto& entry : entries) {
        HRESULT hr = WriteString(entry);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// Removes `path` when nothing is left under it: a key another version or locale of the
// library still uses stays.
HRESULT DeleteIfEmpty(const std::wstring& path, REGSAM view) {
    UniqueKey key;
    if (RegOpenKeyExW(kRoot, path.c_str(), 0, KEY_READ | view, key.Put()) != ERROR_SUCCESS) return S_OK;
    DWORD subkeys = 0, values = 0;
    if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS ||
        subkeys != 0 || values != 0)
        return S_OK;
    return DeleteTree(path, view);
}

}  // namespace

HRESULT RegisterServer() {
    const std::wstring modulePath = ModulePath();
    // Every tree this call writes to, in every view it writes to, as it stands: a
    // half-registered class would point clients at a server they cannot bind to, so a failure
    // undoes this call's writes; but only those, since a registration that was there (from
    // another folder, say, or of the other bitness) may be the one that works.
    const RegistryTree before[] = {
        {kRoot, kClassKey, kOwnView},     {kRoot, kProgIdKey, kShared},       {kRoot, kTypeLibKey, kShared},
        {kRoot, kInterfaceKey, kOwnView}, {kRoot, kInterfaceKey, kOtherView},
    };
    HRESULT hr = WriteAll(modulePath);
    // Then the user who registers sees the machine's registration too. A per-user copy that
    // cannot be removed would keep this user's hosts on the stale one: that is a failure, and
    // the machine's classes go back as they were.
    if (SUCCEEDED(hr)) hr = RemoveUsersOwnCopies();
    if (FAILED(hr))
        for (const RegistryTree& tree : before) tree.Restore();
    return hr;
}

HRESULT UnregisterServer() {
    // Each part is removed even when an earlier one fails; the first failure is reported.
    HRESULT first = DeleteTree(kClassKey, kOwnView);
    auto also = [&](HRESULT hr) {
        if (SUCCEEDED(first)) first = hr;
    };
    // While the other bitness stays registered, what both share stays too, the interface key in
    // both views with it, since the other's registration wrote it there: only this module's own
    // entry under the type library goes. (On 32-bit Windows the other view is this one.)
    // A stale per-user copy would go on answering for this module for the user who runs this.
    also(RemoveUsersOwnCopies());
    if (OtherBitnessRegistered()) {
        also(DeleteTree(kTypeLibOwnEntry, kShared));
        return first;
    }
    // The other build's class key when its file is gone.
    also(DeleteTree(kClassKey, kOtherView));
    also(DeleteTree(kProgIdKey, kShared));
    // This version of the library; the library's key only when no other version is left in it.
    also(DeleteTree(kTypeLibVersionKey, kShared));
    also(DeleteIfEmpty(kTypeLibKey, kShared));
    for (const REGSAM view : {kOwnView, kOtherView}) also(DeleteTree(kInterfaceKey, view));
    return first;
}

}  // namespace starwright::plugin
