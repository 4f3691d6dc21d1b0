#pragma once
// The one owner of a VARIANT: cleared (releasing any BSTR or interface inside) when it goes.

#include <windows.h>
#include <oleauto.h>

namespace starwright::com {

class UniqueVariant {
public:
    UniqueVariant() noexcept { VariantInit(&variant_); }
    ~UniqueVariant() { Clear(); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    VARIANT* Get() noexcept { return &variant_; }
    const VARIANT* Get() const noexcept { return &variant_; }
    VARTYPE Type() const noexcept { return V_VT(&variant_); }
    // An empty VARIANT, as most are before a call fills them, needs no call into the system.
    void Clear() noexcept {
        if (V_VT(&variant_) != VT_EMPTY) VariantClear(&variant_);
    }

private:
    VARIANT variant_;
};

}  // namespace starwright::com
