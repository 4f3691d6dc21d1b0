#include "host/com/automation_error.h"

#include <cstdio>

#include "host/com/bstr.h"

namespace starwright::com {

namespace {

// FormatMessage allocates with LocalAlloc.
class LocalText {
public:
    ~LocalText() { LocalFree(text_); }
    wchar_t** Out() noexcept { return &text_; }
    const wchar_t* Get() const noexcept { return text_; }

private:
    wchar_t* text_ = nullptr;
};

}  // namespace

std::string SystemMessage(HRESULT hr) {
    LocalText text;
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = FormatMessageW(flags, nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(text.Out()), 0, nullptr);
    if (length == 0 || !text.Get()) return {};
    while (length > 0 && (text.Get()[length - 1] == L'\r' || text.Get()[length - 1] == L'\n' || text.Get()[length - 1] == L' '))
        --length;
    return WideToUtf8(std::wstring_view(text.Get(), length));
}

std::string HResultText(HRESULT hr) {
    std::string text = SystemMessage(hr);
    if (!text.empty()) return text;
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "Automation error 0x%08lX", static_cast<unsigned long>(hr));
    return buffer;
}

HostError ErrorFromHResult(HRESULT hr) { return HostError(static_cast<int32_t>(hr), HResultText(hr)); }

HostError ErrorFromException(EXCEPINFO& info) {
    if (info.pfnDeferredFillIn) {
        info.pfnDeferredFillIn(&info);
        info.pfnDeferredFillIn = nullptr;
    }
    // A server sets either its own code (wCode) or an HRESULT (scode).
    const int32_t number = info.scode != 0 ? static_cast<int32_t>(info.scode) : static_cast<int32_t>(info.wCode);
    std::string description = BstrToUtf8(info.bstrDescription);
    if (description.empty()) description = HResultText(info.scode != 0 ? info.scode : DISP_E_EXCEPTION);
    return HostError(number, std::move(description));
}

}  // namespace starwright::com
