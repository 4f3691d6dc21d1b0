#include "host/com/dispatch.h"

#include <iterator>
#include <new>
#include <stdexcept>

#include "host/com/automation_error.h"
#include "com/bstr.h"
#include "com/com_object.h"

namespace starwright::com {

Argument::Argument(Argument&& other) noexcept {
    // VARIANTs move by bit copy; the source is left empty so it clears nothing.
    *value_.Get() = *other.value_.Get();
    VariantInit(other.value_.Get());
}

Argument Argument::Bool(bool value) {
    Argument a;
    V_VT(a.value_.Get()) = VT_BOOL;
    V_BOOL(a.value_.Get()) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return a;
}

Argument Argument::I2(int16_t value) {
    Argument a;
    V_VT(a.value_.Get()) = VT_I2;
    V_I2(a.value_.Get()) = value;
    return a;
}

Argument Argument::I4(int32_t value) {
    Argument a;
    V_VT(a.value_.Get()) = VT_I4;
    V_I4(a.value_.Get()) = value;
    return a;
}

Argument Argument::R8(double value) {
    Argument a;
    V_VT(a.value_.Get()) = VT_R8;
    V_R8(a.value_.Get()) = value;
    return a;
}

Argument Argument::Bstr(const std::string& utf8) {
    Argument a;
    V_BSTR(a.value_.Get()) = MakeBstr(utf8).Release();
    V_VT(a.value_.Get()) = VT_BSTR;
    return a;
}

Dispatch Dispatch::Create(const CLSID& clsid) {
    ComPtr<IDispatch> object;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch,
                                        reinterpret_cast<void**>(object.GetAddressOf()));
    if (FAILED(hr)) throw ErrorFromHResult(hr);
    if (!object) throw ErrorFromHResult(E_POINTER);
    return Dispatch(std::move(object));
}

DISPID Dispatch::IdOfName(const wchar_t* name) const {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    const HRESULT hr = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) throw ErrorFromHResult(hr);
    return id;
}

void Dispatch::Invoke(DISPID id, WORD flags, std::initializer_list<const Argument*> args, VARIANT* result) const {
    // DISPPARAMS lists the arguments last to first. The server only reads them; the VARIANTs
    // stay owned by the Arguments. No member takes more than two, so they need no allocation.
    VARIANTARG reversed[2];
    if (args.size() > std::size(reversed)) throw std::logic_error("more arguments than any host member takes");
    UINT count = 0;
    for (auto it = std::rbegin(args); it != std::rend(args); ++it) reversed[count++] = (*it)->Get();
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    params.rgvarg = count == 0 ? nullptr : reversed;
    params.cArgs = count;
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    UniqueExcepInfo exception;
    UINT argError = 0;
    const HRESULT hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, exception.Get(), &argError);
    if (hr == DISP_E_EXCEPTION) throw ErrorFromException(*exception.Get());
    if (FAILED(hr)) throw ErrorFromHResult(hr);
}

void Dispatch::Put(DISPID id, const Argument& value) const { Invoke(id, DISPATCH_PROPERTYPUT, {&value}, nullptr); }

void Dispatch::Get(DISPID id, UniqueVariant& result, std::initializer_list<const Argument*> args) const {
    result.Clear();
    Invoke(id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, result.Get());
}

void Dispatch::Call(DISPID id, std::initializer_list<const Argument*> args) const {
    UniqueVariant ignored;
    Invoke(id, DISPATCH_METHOD, args, ignored.Get());
}

void ConvertResult(UniqueVariant& value, VARTYPE type) {
    if (value.Type() == type) return;
    const HRESULT hr = VariantChangeType(value.Get(), value.Get(), 0, type);
    if (hr == DISP_E_OVERFLOW) throw HostError(OverflowFailure().Number(), OverflowFailure().Description());
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
    if (FAILED(hr)) throw HostError(TypeMismatchFailure().Number(), TypeMismatchFailure().Description());
}

bool Dispatch::GetBool(DISPID id) const {
    UniqueVariant v;
    Get(id, v);
    ConvertResult(v, VT_BOOL);
    return V_BOOL(v.Get()) != VARIANT_FALSE;
}

double Dispatch::GetDouble(DISPID id) const {
    UniqueVariant v;
    Get(id, v);
    ConvertResult(v, VT_R8);
    return V_R8(v.Get());
}

int32_t Dispatch::GetInt32(DISPID id) const {
    UniqueVariant v;
    Get(id, v);
    ConvertResult(v, VT_I4);
    return V_I4(v.Get());
}

std::string Dispatch::GetText(DISPID id) const {
    UniqueVariant v;
    Get(id, v);
    ConvertResult(v, VT_BSTR);
    return BstrToUtf8(V_BSTR(v.Get()));
}

Dispatch Dispatch::GetObject(DISPID id, std::initializer_list<const Argument*> args) const {
    UniqueVariant v;
    Get(id, v, args);
    ConvertResult(v, VT_DISPATCH);
    if (!V_DISPATCH(v.Get())) throw HostError(ObjectNotSetFailure().Number(), ObjectNotSetFailure().Description());
    // The result's reference passes to the Dispatch rather than being taken and dropped again.
    ComPtr<IDispatch> object = Adopt(V_DISPATCH(v.Get()));
    V_VT(v.Get()) = VT_EMPTY;
    return Dispatch(std::move(object));
}

}  // namespace starwright::com
