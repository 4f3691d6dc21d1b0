#include "platform/windows_platform.h"

#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string>

#include "host/failure.h"

namespace starwright {

namespace {

// The one owner of a BSTR that oleaut32 hands back.
class OwnedBstr {
public:
    OwnedBstr() = default;
    ~OwnedBstr() { SysFreeString(value_); }
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    BSTR* Out() { return &value_; }
    BSTR Get() const { return value_; }

private:
    BSTR value_ = nullptr;
};

std::string Utf8(BSTR text) {
    const int length = static_cast<int>(SysStringLen(text));
    if (length == 0) return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, result.data(), bytes, nullptr, nullptr);
    return result;
}

// The description the system gives for an automation conversion failure.
Failure ConversionFailure(HRESULT hr) {
    if (hr == DISP_E_OVERFLOW) return OverflowFailure();
    if (hr == DISP_E_TYPEMISMATCH) return TypeMismatchFailure();
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
    return InvalidArgumentFailure();
}

}  // namespace

std::string WindowsNumberText::FormatFixed1(double value) {
    VARIANT number;
    VariantInit(&number);
    V_VT(&number) = VT_R8;
    V_R8(&number) = value;
    OwnedBstr text;
    // Format's own pattern language; the decimal separator comes from the user's locale.
    wchar_t pattern[] = L"#0.0";
    const HRESULT hr = VarFormat(&number, pattern, 0, 0, 0, text.Out());
    if (FAILED(hr)) throw ConversionFailure(hr);
    return Utf8(text.Get());
}

std::string WindowsNumberText::FormatGeneral(double value) {
    OwnedBstr text;
    const HRESULT hr = VarBstrFromR8(value, LOCALE_USER_DEFAULT, 0, text.Out());
    if (FAILED(hr)) throw ConversionFailure(hr);
    return Utf8(text.Get());
}

}  // namespace starwright
