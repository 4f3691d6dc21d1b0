#pragma once
// Text crossing the automation boundary: the plug-in works in UTF-8, automation in UTF-16
// BSTRs.

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

#include "platform/text_win.h"

namespace starwright::com {

using starwright::UniqueBstr;

// Throws std::bad_alloc when the system cannot allocate the string.
UniqueBstr MakeBstr(std::string_view utf8);
// A null BSTR is the empty string; embedded NULs are kept (the length is the BSTR's own).
std::string BstrToUtf8(BSTR bstr);

}  // namespace starwright::com
