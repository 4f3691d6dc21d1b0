#include "demo/host_library.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <vector>

namespace starwright::demo {

namespace {

using Microsoft::WRL::ComPtr;

bool ClassesKeyExists(const wchar_t* folder, const GUID& id) {
    wchar_t text[40] = {};
    StringFromGUID2(id, text, 40);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(folder) + L"\\" + text).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Any version of the library, or any of the interfaces it would register, already known.
bool AnyRegistration(ITypeLib* library, const GUID& id) {
    if (ClassesKeyExists(L"TypeLib", id)) return true;
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        ComPtr<ITypeInfo> info;
        TYPEATTR* attributes = nullptr;
        if (FAILED(library->GetTypeInfo(i, &info)) || FAILED(info->GetTypeAttr(&attributes))) continue;
        const bool registersInterface = attributes->typekind == TKIND_INTERFACE || attributes->typekind == TKIND_DISPATCH;
        const GUID iid = attributes->guid;
        info->ReleaseTypeAttr(attributes);
        if (registersInterface && ClassesKeyExists(L"Interface", iid)) return true;
    }
    return false;
}

std::wstring RegisteredFile(const GUID& id, WORD major, WORD minor, LCID locale) {
    BSTR path = nullptr;
    if (FAILED(QueryPathOfRegTypeLib(id, major, minor, locale, &path)) || !path) return {};
    std::wstring file(path, SysStringLen(path));
    SysFreeString(path);
    return file;
}

// Paths as the registry keeps them may carry the "\\\\?\\" prefix and any case.
bool SameFile(std::wstring a, std::wstring b) {
    for (std::wstring* path : {&a, &b})
        if (path->rfind(L"\\\\?\\", 0) == 0) path->erase(0, 4);
    return !a.empty() && CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

HostLibrary::HostLibrary(const std::wstring& stubFile) {
    ComPtr<ITypeLib> library;
    error_ = LoadTypeLibEx(stubFile.c_str(), REGKIND_NONE, &library);
    if (FAILED(error_)) return;
    TLIBATTR* attributes = nullptr;
    error_ = library->GetLibAttr(&attributes);
    if (FAILED(error_)) return;
    id_ = attributes->guid;
    major_ = attributes->wMajorVerNum;
    minor_ = attributes->wMinorVerNum;
    locale_ = attributes->lcid;
    system_ = attributes->syskind;
    library->ReleaseTLibAttr(attributes);

    if (AnyRegistration(library.Get(), id_)) {
        // One that names this very file was left by a stand-in host that did not get to remove
        // it (ended by force); it is this program's own and goes at exit like a new one.
        state_ = SameFile(RegisteredFile(id_, major_, minor_, locale_), stubFile) ? State::Registered : State::AlreadyRegistered;
        return;
    }
    std::vector<wchar_t> path(stubFile.begin(), stubFile.end());
    path.push_back(L'\0');
    error_ = RegisterTypeLib(library.Get(), path.data(), nullptr);
    if (FAILED(error_)) {
        // Whatever a failed registration left is removed too; nothing was there before it.
        UnRegisterTypeLib(id_, major_, minor_, locale_, system_);
        return;
    }
    state_ = State::Registered;
}

HostLibrary::~HostLibrary() {
    // Removes the library's version key (and the library's key when that leaves it empty) and
    // the keys of its interfaces: what RegisterTypeLib wrote, where nothing was before.
    if (state_ == State::Registered) UnRegisterTypeLib(id_, major_, minor_, locale_, system_);
}

}  // namespace starwright::demo
