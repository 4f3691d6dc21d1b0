#pragma once
// Texts cross the toolkit interface as UTF-8 and the Win32 API as UTF-16.

#include <string>

#include <windows.h>

#include "platform/text_win.h"

namespace starwright {

// The window's text (caption or edit contents).
std::string WindowText(HWND hwnd);

}  // namespace starwright
