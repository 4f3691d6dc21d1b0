#include "host/com/automation_error.h"

#include "com/bstr.h"

namespace starwright::com {

namespace {

// Windows' own texts for the failures an automation call commonly ends with. Wine's message
// table lacks most of them, and "Automation error 0x80040154" tells a user nothing.
struct KnownText {
    HRESULT hr;
    const char* text;
};
constexpr KnownText kKnownTexts[] = {
    {REGDB_E_CLASSNOTREG, "Class not registered"},
    {CO_E_CLASSSTRING, "Invalid class string"},
    {CO_E_SERVER_EXEC_FAILURE, "Server execution failed"},
    {CO_E_NOTINITIALIZED, "CoInitialize has not been called."},
    {CO_E_OBJNOTCONNECTED, "Object is not connected to server"},
    {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
    {RPC_E_DISCONNECTED, "The object invoked has disconnected from its clients."},
    {RPC_E_CALL_REJECTED, "Call was rejected by callee."},
    {RPC_E_SERVERCALL_RETRYLATER, "The message filter indicated that the application is busy."},
    {E_NOINTERFACE, "No such interface supported"},
    {E_POINTER, "Invalid pointer"},
    {E_UNEXPECTED, "Catastrophic failure"},
    {DISP_E_UNKNOWNINTERFACE, "Unknown interface."},
    {DISP_E_MEMBERNOTFOUND, "Member not found."},
    {DISP_E_PARAMNOTFOUND, "Parameter not found."},
    {DISP_E_TYPEMISMATCH, "Type mismatch."},
    {DISP_E_UNKNOWNNAME, "Unknown name."},
    {DISP_E_NONAMEDARGS, "Does not support named arguments."},
    {DISP_E_BADVARTYPE, "Bad variable type."},
    {DISP_E_EXCEPTION, "Exception occurred."},
    {DISP_E_OVERFLOW, "Out of present range."},
    {DISP_E_BADINDEX, "Invalid index."},
    {DISP_E_BADPARAMCOUNT, "Invalid number of parameters."},
    {DISP_E_PARAMNOTOPTIONAL, "Parameter not optional."},
};

}  // namespace

std::string SystemMessage(HRESULT hr) { return starwright::SystemMessage(static_cast<DWORD>(hr)); }

std::string HResultText(HRESULT hr) {
    std::string text = SystemMessage(hr);
    if (!text.empty()) return text;
    for (const KnownText& known : kKnownTexts)
        if (known.hr == hr) return known.text;
    // Eight upper-case hex digits, written out by hand: printf would bring a formatting engine
    // of its own into the DLL.
    text = "Automation error 0x";
    for (int shift = 28; shift >= 0; shift -= 4) text += "0123456789ABCDEF"[(static_cast<DWORD>(hr) >> shift) & 0xF];
    return text;
}

HostError ErrorFromHResult(HRESULT hr) { return HostError(static_cast<int32_t>(hr), HResultText(hr)); }

HostError ErrorFromException(EXCEPINFO& info) {
    if (info.pfnDeferredFillIn) {
        info.pfnDeferredFillIn(&info);
        info.pfnDeferredFillIn = nullptr;
    }
    // A server sets either its own code (wCode) or an HRESULT (scode). One that sets neither
    // still failed: number 0 would read as "no error" to anyone testing the number.
    int32_t number = static_cast<int32_t>(DISP_E_EXCEPTION);
    if (info.scode != 0) number = static_cast<int32_t>(info.scode);
    else if (info.wCode != 0) number = info.wCode;
    std::string description = BstrToUtf8(info.bstrDescription);
    if (description.empty()) description = HResultText(info.scode != 0 ? info.scode : DISP_E_EXCEPTION);
    return HostError(number, std::move(description));
}

}  // namespace starwright::com
