#pragma once
// Text on Windows: the plug-in works in UTF-8, the Windows API and automation in UTF-16.
// Shared by the platform services, the native window and the automation binding.

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

namespace starwright {

// Invalid UTF-8 sequences become U+FFFD; unpaired surrogates likewise on the way back.
// Throws std::bad_alloc for a text longer than the API can take.
std::wstring ToWide(std::string_view text);
std::string ToUtf8(std::wstring_view text);
// The same into a string whose storage is reused, for converting many texts in a row.
void ToWide(std::string_view text, std::wstring& wide);
void ToUtf8(std::wstring_view text, std::string& narrow);

// The system's description of an error code (a Win32 error or an HRESULT) in the user's
// language, without its trailing line break; "" when the system has none.
std::string SystemMessage(DWORD code);

// The one owner of a BSTR.
class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(BSTR owned) noexcept : bstr_(owned) {}
    ~UniqueBstr() { SysFreeString(bstr_); }
    UniqueBstr(UniqueBstr&& other) noexcept : bstr_(other.Release()) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;

    BSTR Get() const noexcept { return bstr_; }
    BSTR Release() noexcept {
        BSTR b = bstr_;
        bstr_ = nullptr;
        return b;
    }
    void Reset(BSTR owned = nullptr) noexcept {
        SysFreeString(bstr_);
        bstr_ = owned;
    }
    // For out-parameters: frees what is held first.
    BSTR* Out() noexcept {
        Reset();
        return &bstr_;
    }

private:
    BSTR bstr_ = nullptr;
};

}  // namespace starwright
