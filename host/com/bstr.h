#pragma once
// Text crossing the automation boundary: the plug-in works in UTF-8, automation in UTF-16
// BSTRs. UniqueBstr is the one owner of a BSTR.

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

namespace starwright::com {

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

// Invalid UTF-8 sequences become U+FFFD; unpaired surrogates likewise on the way back.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

// Throws std::bad_alloc when the system cannot allocate the string.
UniqueBstr MakeBstr(std::string_view utf8);
// A null BSTR is the empty string; embedded NULs are kept (the length is the BSTR's own).
std::string BstrToUtf8(BSTR bstr);

}  // namespace starwright::com
