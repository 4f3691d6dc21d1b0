#include <windows.h>

#include <string>

#include "base/failure.h"
#include "platform/text_win.h"
#include "platform/windows_platform.h"

namespace starwright {
namespace {

// A system error as an automation host reports it: HRESULT_FROM_WIN32, with the system's own
// description in the user's language.
Failure SystemFailure(DWORD error) {
    const int32_t number = static_cast<int32_t>(HRESULT_FROM_WIN32(error));
    std::string text = SystemMessage(error);
    if (text.empty()) return Failure(number, "System error " + std::to_string(error));
    return Failure(number, std::move(text));
}

// Strict, unlike ToWide: a path with an invalid sequence is refused, since mending it would
// create a folder of another name.
std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int length = static_cast<int>(utf8.size());
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
    if (size == 0) throw SystemFailure(GetLastError());
    std::wstring wide(size, L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), size);
    return wide;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

LocalDateTime WindowsClock::Now() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

bool WindowsFileSystem::Exists(const std::string& path) {
    std::wstring wide = Widen(path);
    // For "name\" where name is a file, Windows answers an invalid-name error (Wine: path not
    // found) instead of "not found", so a path that names a directory is looked up without its
    // final separators and must then be a directory. Roots ("C:\", "\") keep theirs: "C:" alone
    // is the current directory of drive C.
    bool mustBeDirectory = false;
    if (!wide.empty() && IsSeparator(wide.back())) {
        std::wstring trimmed = wide;
        while (!trimmed.empty() && IsSeparator(trimmed.back())) trimmed.pop_back();
        if (!trimmed.empty() && trimmed.back() != L':') {
            wide = std::move(trimmed);
            mustBeDirectory = true;
        }
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
        throw SystemFailure(error);
    }
    return !mustBeDirectory || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void WindowsFileSystem::MakeDirectory(const std::string& path) {
    if (!CreateDirectoryW(Widen(path).c_str(), nullptr)) throw SystemFailure(GetLastError());
}

void WindowsFileSystem::CheckCanCreateFiles(const std::string& directory) {
    std::wstring path = Widen(directory);
    if (!path.empty() && !IsSeparator(path.back())) path += L'\\';
    // "~swXXXXX.tmp": a short name, so that a folder near the path limit is still checked (an
    // image name shorter still could pass where this one fails). CREATE_NEW never opens a file
    // of someone else's.
    path += L"~swXXXXX.tmp";
    const size_t digits = path.size() - 9;
    DWORD number = GetCurrentProcessId() * 2654435761u + GetTickCount();
    for (int attempt = 0; attempt < 16; ++attempt, ++number) {
        for (int i = 0; i < 5; ++i) path[digits + i] = L"0123456789abcdef"[(number >> (4 * i)) & 15];
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS) continue;
            throw SystemFailure(error);
        }
        CloseHandle(file);
        // A folder may let files be made but not removed: the camera needs only the first.
        DeleteFileW(path.c_str());
        return;
    }
    throw SystemFailure(ERROR_FILE_EXISTS);
}

bool WindowsFileSystem::LongPathsEnabled() {
    // ntdll answers for this process: yes only when the system allows long paths and the
    // process's manifest declares itself long-path aware. Windows before 10 (version 1607)
    // has no such function, and no long paths.
    using Query = BOOLEAN(WINAPI*)();
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return false;
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlAreLongPathsEnabled")));
    return query && query() != FALSE;
}

}  // namespace starwright
