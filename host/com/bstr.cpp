#include "host/com/bstr.h"

#include <climits>
#include <new>

namespace starwright::com {

std::wstring Utf8ToWide(std::string_view utf8) {
    if (utf8.empty()) return {};
    if (utf8.size() > INT_MAX) throw std::bad_alloc();
    const int length = static_cast<int>(utf8.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), needed);
    return wide;
}

std::string WideToUtf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    if (wide.size() > INT_MAX) throw std::bad_alloc();
    const int length = static_cast<int>(wide.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string utf8(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), needed, nullptr, nullptr);
    return utf8;
}

UniqueBstr MakeBstr(std::string_view utf8) {
    const std::wstring wide = Utf8ToWide(utf8);
    UniqueBstr bstr(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
    if (!bstr.Get()) throw std::bad_alloc();
    return bstr;
}

std::string BstrToUtf8(BSTR bstr) {
    if (!bstr) return {};
    return WideToUtf8(std::wstring_view(bstr, SysStringLen(bstr)));
}

}  // namespace starwright::com
