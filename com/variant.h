#pragma once
// The one owner of a VARIANT: cleared (releasing any BSTR or interface inside) when it goes.

#include <windows.h>
#include <oleauto.h>

namespace starwright::com {

class UniqueVariant {
public:
    // What VariantInit does, without a call into the system for every argument of a long scan.
    UniqueVariant() noexcept { V_VT(&variant_) = VT_EMPTY; }
    ~UniqueVariant() { Clear(); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    VARIANT* Get() noexcept { return &variant_; }
    const VARIANT* Get() const noexcept { return &variant_; }
    VARTYPE Type() const noexcept { return V_VT(&variant_); }
    // A VARIANT that holds nothing to release (empty, as most are before a call fills them, or a
    // plain number) is cleared without a call into the system.
    void Clear() noexcept {
        switch (V_VT(&variant_)) {
        case VT_EMPTY:
        case VT_BOOL:
        case VT_I2:
        case VT_I4:
        case VT_R8:
            V_VT(&variant_) = VT_EMPTY;
            break;
        default:
            VariantClear(&variant_);
        }
    }

private:
    VARIANT variant_;
};

}  // namespace starwright::com
