#include "plugin/registry_tree.h"

#include <algorithm>

namespace starwright::plugin {

namespace {

using Key = RegistryTree::Key;
using Value = RegistryTree::Value;

// Registry names compare without regard to case.
bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

HRESULT FirstFailure(HRESULT first, LSTATUS status) {
    return FAILED(first) || status == ERROR_SUCCESS ? first : HRESULT_FROM_WIN32(status);
}

std::vector<std::wstring> SubkeyNames(HKEY key) {
    DWORD count = 0, longest = 0;
    std::vector<std::wstring> names;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0; i < count; ++i) {
        std::wstring name(longest + 1, L'\0');
        DWORD length = longest + 1;
        if (RegEnumKeyExW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        name.resize(length);
        names.push_back(std::move(name));
    }
    return names;
}

Key Read(HKEY key, std::wstring name, REGSAM view) {
    Key read;
    read.name = std::move(name);
    DWORD valueCount = 0, longestName = 0, longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount, &longestName,
                         &longestData, nullptr, nullptr) != ERROR_SUCCESS) {
        read.readable = false;
        return read;
    }
    for (DWORD i = 0; i < valueCount; ++i) {
        Value value{std::wstring(longestName + 1, L'\0'), 0, std::vector<BYTE>(longestData)};
        DWORD nameLength = longestName + 1;
        DWORD dataLength = longestData;
        if (RegEnumValueW(key, i, value.name.data(), &nameLength, nullptr, &value.type, value.data.data(),
                          &dataLength) != ERROR_SUCCESS) {
            read.readable = false;
            break;
        }
        value.name.resize(nameLength);
        value.data.resize(dataLength);
        read.values.push_back(std::move(value));
    }
    for (std::wstring& subkeyName : SubkeyNames(key)) {
        UniqueKey subkey;
        if (RegOpenKeyExW(key, subkeyName.c_str(), 0, KEY_READ | view, subkey.Put()) == ERROR_SUCCESS) {
            read.subkeys.push_back(Read(subkey.Get(), std::move(subkeyName), view));
        } else {
            read.subkeys.push_back(Key{std::move(subkeyName), false, {}, {}});
        }
    }
    return read;
}

HRESULT RestoreInto(HKEY parent, const Key& was, REGSAM view) {
    if (!was.readable) return S_OK;
    UniqueKey key;
    LSTATUS status = RegCreateKeyExW(parent, was.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_READ | KEY_WRITE | DELETE | view, nullptr, key.Put(), nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    HRESULT first = S_OK;
    const Key now = Read(key.Get(), was.name, view);
    for (const Key& subkey : now.subkeys) {
        const bool had = std::any_of(was.subkeys.begin(), was.subkeys.end(),
                                     [&](const Key& old) { return SameName(old.name, subkey.name); });
        if (!had) first = FirstFailure(first, DeleteRegistryTree(key.Get(), subkey.name, view));
    }
    for (const Value& value : now.values) {
        const bool had = std::any_of(was.values.begin(), was.values.end(),
                                     [&](const Value& old) { return SameName(old.name, value.name); });
        if (!had) first = FirstFailure(first, RegDeleteValueW(key.Get(), value.name.c_str()));
    }
    for (const Value& value : was.values)
        first = FirstFailure(first, RegSetValueExW(key.Get(), value.name.c_str(), 0, value.type, value.data.data(),
                                                   static_cast<DWORD>(value.data.size())));
    for (const Key& subkey : was.subkeys) {
        const HRESULT hr = RestoreInto(key.Get(), subkey, view);
        if (SUCCEEDED(first)) first = hr;
    }
    return first;
}

}  // namespace

// RegDeleteTreeW cannot be told a view, so the tree is taken down key by key.
LSTATUS DeleteRegistryTree(HKEY root, const std::wstring& path, REGSAM view) {
    {
        UniqueKey key;
        const LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.Put());
        if (status != ERROR_SUCCESS) return status;
        for (const std::wstring& name : SubkeyNames(key.Get())) {
            const LSTATUS deleted = DeleteRegistryTree(key.Get(), name, view);
            if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) return deleted;
        }
    }
    return RegDeleteKeyExW(root, path.c_str(), view, 0);
}

RegistryTree::RegistryTree(HKEY root, std::wstring path, REGSAM view)
    : root_(root), path_(std::move(path)), view_(view) {
    UniqueKey key;
    const LSTATUS status = RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ | view_, key.Put());
    existed_ = status != ERROR_FILE_NOT_FOUND;
    if (status == ERROR_SUCCESS) key_ = Read(key.Get(), path_, view_);
    else key_.readable = !existed_;
}

HRESULT RegistryTree::Restore() const {
    if (existed_) return RestoreInto(root_, key_, view_);
    const LSTATUS status = DeleteRegistryTree(root_, path_, view_);
    return status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

}  // namespace starwright::plugin
