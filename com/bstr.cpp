#include "com/bstr.h"

#include <new>

namespace starwright::com {

UniqueBstr MakeBstr(std::string_view utf8) {
    const std::wstring wide = ToWide(utf8);
    UniqueBstr bstr(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
    if (!bstr.Get()) throw std::bad_alloc();
    return bstr;
}

std::string BstrToUtf8(BSTR bstr) {
    if (!bstr) return {};
    return ToUtf8(std::wstring_view(bstr, SysStringLen(bstr)));
}

}  // namespace starwright::com
