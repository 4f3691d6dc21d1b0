#pragma once
// PendingFileRenameOperations, the files Windows deletes or renames at the next restart: read,
// and the operations of a test's own carried out at once, as the installer's scenarios and the
// test kit's runner do (another program's stay for the real restart).

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

namespace starwright::test {

inline const wchar_t kSessionManagerKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";

// Pairs of paths ("\??\C:\..."): the file and what it becomes at the next restart: nothing
// (deleted), or another path (renamed; "!" first: replacing it).
struct Operation {
    std::wstring from;
    std::wstring to;
    bool operator==(const Operation&) const = default;
};

// `read`, when given, tells whether the value could be read (a value that is not there reads as none).
inline std::vector<Operation> PendingOperations(bool* read = nullptr) {
    std::vector<Operation> operations;
    if (read) *read = false;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return operations;
    std::vector<wchar_t> text(4096);
    DWORD size = 0;
    LSTATUS status;
    do {  // another program may make it longer in between
        size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        status = RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(text.data()), &size);
        if (status == ERROR_MORE_DATA) text.resize(size / sizeof(wchar_t) + 1);
    } while (status == ERROR_MORE_DATA);
    RegCloseKey(key);
    if (read) *read = status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    if (status != ERROR_SUCCESS) return operations;
    const size_t units = std::min<size_t>(size / sizeof(wchar_t), text.size());
    std::vector<std::wstring> strings;
    for (size_t at = 0; at < units;) {
        const wchar_t* start = text.data() + at;
        const size_t length = std::find(start, static_cast<const wchar_t*>(text.data() + units), L'\0') - start;
        strings.emplace_back(start, length);
        at += length + 1;
    }
    // The list ends with an empty string; a delete's target is one too.
    for (size_t i = 0; i + 1 < strings.size(); i += 2) operations.push_back({strings[i], strings[i + 1]});
    return operations;
}

// "\??\C:\x" (a folder possibly with a final "\") as "c:\x", to compare with a path.
inline std::wstring OperationPath(std::wstring path) {
    if (!path.empty() && path[0] == L'!') path.erase(0, 1);
    if (path.rfind(L"\\??\\", 0) == 0) path.erase(0, 4);
    if (path.size() > 3 && path.back() == L'\\') path.pop_back();
    for (wchar_t& ch : path) ch = static_cast<wchar_t>(std::towlower(ch));
    return path;
}

// The Win32 spelling of an operation's path, for doing it: "\\?\C:\x".
inline std::wstring Win32Path(const std::wstring& path) {
    return L"\\\\?\\" + path.substr(path.rfind(L"\\??\\", 0) == 0 ? 4 : 0);
}

// Does `operations` now, in their order, and takes out of the value each one done (or whose file
// is gone already); one that fails stays for the restart. What another program added meanwhile
// stays too. False when the value could not be read again, which then stays as it was: written
// back, it would lose other programs' entries. `done`, when given, counts the ones taken out.
inline bool CarryOutPendingOperations(const std::vector<Operation>& operations, size_t* done = nullptr) {
    std::vector<Operation> finished;
    for (const Operation& operation : operations) {
        const std::wstring from = Win32Path(operation.from);
        const DWORD attributes = GetFileAttributesW(from.c_str());
        // Gone already; a file that cannot be read (access denied, in use) is not.
        const DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS;
        if (attributes == INVALID_FILE_ATTRIBUTES && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            continue;
        bool ok = attributes == INVALID_FILE_ATTRIBUTES;
        if (!ok && operation.to.empty())
            ok = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(from.c_str()) : DeleteFileW(from.c_str());
        else if (!ok) {
            const bool replace = operation.to[0] == L'!';
            ok = MoveFileExW(from.c_str(), Win32Path(operation.to.substr(replace ? 1 : 0)).c_str(),
                             replace ? MOVEFILE_REPLACE_EXISTING : 0);
        }
        if (ok) finished.push_back(operation);
    }
    if (done) *done = finished.size();
    bool read = false;
    std::vector<Operation> left = PendingOperations(&read);
    if (!read) return false;
    const size_t before = left.size();
    std::erase_if(left, [&](const Operation& operation) {
        return std::find(finished.begin(), finished.end(), operation) != finished.end();
    });
    if (left.size() == before) return true;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
    std::wstring text;
    for (const Operation& operation : left) {
        text += operation.from + L'\0';
        text += operation.to + L'\0';
    }
    const LSTATUS status =
        left.empty() ? RegDeleteValueW(key, L"PendingFileRenameOperations")
                     : RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                                      reinterpret_cast<const BYTE*>(text.c_str()),
                                      static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

}  // namespace starwright::test
