#pragma once
// Texts cross the toolkit interface as UTF-8 and the Win32 API as UTF-16.

#include <string>
#include <string_view>

#include <windows.h>

namespace starwright {

std::wstring ToWide(std::string_view text);
std::string ToUtf8(std::wstring_view text);
// The window's text (caption or edit contents).
std::string WindowText(HWND hwnd);

}  // namespace starwright
