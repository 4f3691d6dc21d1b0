#include "platform/text_win.h"

#include <climits>
#include <memory>
#include <new>
#include <type_traits>

namespace starwright {

namespace {

// ASCII text, most text by far (file names, keywords, numbers), converts unit for unit without
// a call into the system.
template <typename To, typename From>
bool CopyAscii(std::basic_string_view<From> text, std::basic_string<To>& into) {
    for (From unit : text)
        if (static_cast<std::make_unsigned_t<From>>(unit) >= 0x80) return false;
    into.resize(text.size());
    for (size_t at = 0; at < text.size(); ++at) into[at] = static_cast<To>(text[at]);
    return true;
}

}  // namespace

void ToWide(std::string_view text, std::wstring& wide) {
    if (CopyAscii(text, wide)) return;
    wide.clear();
    if (text.size() > INT_MAX) throw std::bad_alloc();
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    if (length <= 0) return;
    wide.resize(static_cast<size_t>(length));
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
}

std::wstring ToWide(std::string_view text) {
    std::wstring wide;
    ToWide(text, wide);
    return wide;
}

void ToUtf8(std::wstring_view text, std::string& narrow) {
    if (CopyAscii(text, narrow)) return;
    narrow.clear();
    if (text.size() > INT_MAX) throw std::bad_alloc();
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return;
    narrow.resize(static_cast<size_t>(length));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
}

std::string ToUtf8(std::wstring_view text) {
    std::string narrow;
    ToUtf8(text, narrow);
    return narrow;
}

std::string SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    // FormatMessage allocates with LocalAlloc.
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> owner(buffer, &LocalFree);
    if (length == 0 || !buffer) return {};
    // The system's texts end in a line break, sometimes after a space.
    while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' || buffer[length - 1] == L' '))
        --length;
    return ToUtf8(std::wstring_view(buffer, length));
}

}  // namespace starwright
