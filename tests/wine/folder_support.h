#pragma once
// What the dated folder tests ask of the file system on their own, independently of the code
// under test: a scratch folder of their own, the system's text for an error, and whether a
// directory is really there.

#include <windows.h>

#include <string>

#include "platform/text_win.h"

namespace starwright::test {

// A path ending in "\" under the temporary folder that no other test process or run uses.
inline std::string ScratchFolder(const std::string& name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return ToUtf8(temp) + name + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) +
           "\\";
}

// Removes a folder and all below it, as the shell does; a folder that is not there is no error.
inline void RemoveFolderTree(const std::string& path) {
    std::string command = "cmd /c rmdir /s /q \"" + path + "\"";
    STARTUPINFOA startup{sizeof startup};
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

inline std::string SystemText(DWORD error) {
    wchar_t buffer[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, buffer, 512, nullptr);
    std::wstring text = buffer;
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    return ToUtf8(text);
}

inline bool IsDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace starwright::test
