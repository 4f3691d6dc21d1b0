#pragma once
// What the dated folder tests ask of the file system on their own, independently of the code
// under test: the system's text for an error, and whether a directory is really there.

#include <windows.h>

#include <string>

#include "platform/text_win.h"

namespace starwright::test {

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
