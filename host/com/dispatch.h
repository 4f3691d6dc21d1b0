#pragma once
// Late-bound calls through IDispatch, the way an automation client makes them: a put passes
// its value as the named argument DISPID_PROPERTYPUT, a get asks for a property or a method's
// result (DISPATCH_PROPERTYGET | DISPATCH_METHOD), a call invokes a method and drops its
// result. Every failure throws HostError.

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "com/variant.h"

namespace starwright::com {

using Microsoft::WRL::ComPtr;

// Argument VARIANTs, built with exactly the type the host is to see.
class Argument {
public:
    static Argument Bool(bool value);
    static Argument I2(int16_t value);
    static Argument I4(int32_t value);
    static Argument R8(double value);
    static Argument Bstr(const std::string& utf8);

    Argument(Argument&&) noexcept;
    Argument(const Argument&) = delete;
    Argument& operator=(const Argument&) = delete;
    ~Argument() = default;
    const VARIANT& Get() const noexcept { return *value_.Get(); }

private:
    Argument() = default;
    UniqueVariant value_;
};

class Dispatch {
public:
    explicit Dispatch(ComPtr<IDispatch> object) : object_(std::move(object)) {}

    // Creates an object by class identifier, asking for IDispatch.
    static Dispatch Create(const CLSID& clsid);

    DISPID IdOfName(const wchar_t* name) const;
    void Put(DISPID id, const Argument& value) const;
    // Arguments in the order a caller writes them.
    void Get(DISPID id, UniqueVariant& result, std::initializer_list<const Argument*> args = {}) const;
    void Call(DISPID id, std::initializer_list<const Argument*> args) const;

    bool GetBool(DISPID id) const;
    double GetDouble(DISPID id) const;
    int32_t GetInt32(DISPID id) const;
    std::string GetText(DISPID id) const;
    Dispatch GetObject(DISPID id, std::initializer_list<const Argument*> args = {}) const;

private:
    void Invoke(DISPID id, WORD flags, std::initializer_list<const Argument*> args, VARIANT* result) const;
    ComPtr<IDispatch> object_;
};

// Converts a result in place to `type` the way automation coerces values; a value that does not
// convert is a type mismatch (or an overflow), thrown as HostError.
void ConvertResult(UniqueVariant& value, VARTYPE type);

}  // namespace starwright::com
