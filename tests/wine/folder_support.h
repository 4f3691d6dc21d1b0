#pragma once
// What the dated folder tests ask of the file system on their own, independently of the code
// under test: scratch folders of their own, the system's text for an error, and what is really
// there.

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

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
    // Wide: a path under a temporary folder that the ANSI code page cannot write would not reach
    // the command whole, and the folder would stay.
    std::wstring command = L"cmd /c rmdir /s /q \"" + ToWide(path) + L"\"";
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
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

// The names in a folder (ending in "\"), "." and ".." left out.
inline std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(ToWide(folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(ToUtf8(name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// A scratch folder of its own as the process's current folder while it lives, so that whatever
// a relative path would make lands there; the folder before it is restored and the scratch one
// removed at the end.
class ScratchCurrentFolder {
public:
    ScratchCurrentFolder() : path_(ScratchFolder("starwright-current")) {
        GetCurrentDirectoryW(MAX_PATH, previous_);
        if (!CreateDirectoryW(ToWide(path_).c_str(), nullptr) || !SetCurrentDirectoryW(ToWide(path_).c_str()))
            throw std::runtime_error("cannot make a scratch current folder");
    }
    ~ScratchCurrentFolder() {
        SetCurrentDirectoryW(previous_);
        RemoveFolderTree(path_);
    }
    ScratchCurrentFolder(const ScratchCurrentFolder&) = delete;
    ScratchCurrentFolder& operator=(const ScratchCurrentFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    wchar_t previous_[MAX_PATH] = {};
};

}  // namespace starwright::test
