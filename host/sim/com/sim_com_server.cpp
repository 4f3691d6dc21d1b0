#include "host/sim/com/sim_com_server.h"

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cwctype>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "com/bstr.h"
#include "com/com_object.h"
#include "host/com/host_ids.h"

namespace starwright::sim {

namespace {

namespace ids = com::host_ids;
using Microsoft::WRL::ComPtr;
using Connection = SimComServer::Connection;

struct Member {
    DISPID id;
    const char* name;
    bool method;
};

struct ObjectType {
    const IID* iid;
    const Member* members;
    size_t memberCount;
};

constexpr Member kCameraMembers[] = {
    {ids::camera::kSetpoint, "Setpoint", false},
    {ids::camera::kCoolerEnabled, "CoolerEnabled", false},
    {ids::camera::kConnected, "Connected", false},
    {ids::camera::kSetpointAllowed, "SetpointAllowed", false},
    {ids::camera::kSensorTemperature, "SensorTemperature", false},
    {ids::camera::kPreLinkFlag, "PreLinkFlag", false},
    {ids::camera::kSignalRun, "SignalRun", true},
    {ids::camera::kAutoSaveName, "AutoSaveName", false},
    {ids::camera::kAutoSaveStart, "AutoSaveStart", false},
};
constexpr Member kApplicationMembers[] = {{ids::application::kDocuments, "Documents", false}};
constexpr Member kListMembers[] = {
    {ids::document_list::kItem, "Item", false},
    {ids::document_list::kCount, "Count", false},
};
// Deliberately far from anything a client might hard-code: documents are bound by name.
constexpr Member kDocumentMembers[] = {
    {0x1001, "DisplayName", false},
    {0x1002, "SetFITSKey", true},
};

const ObjectType kCamera{&ids::kCameraInterface, kCameraMembers, std::size(kCameraMembers)};
const ObjectType kApplication{&ids::kApplicationInterface, kApplicationMembers, std::size(kApplicationMembers)};
const ObjectType kList{&ids::kDocumentListInterface, kListMembers, std::size(kListMembers)};
const ObjectType kDocument{&ids::kDocumentInterface, kDocumentMembers, std::size(kDocumentMembers)};

bool SameNameIgnoringCase(const wchar_t* wide, const char* ascii) {
    for (; *wide && *ascii; ++wide, ++ascii) {
        if (*wide > 127 || std::towlower(*wide) != std::towlower(static_cast<unsigned char>(*ascii))) return false;
    }
    return *wide == 0 && *ascii == 0;
}

// Fills an EXCEPINFO the way an automation server raises an error: an HRESULT goes in scode,
// a plain error number in wCode (the two are exclusive).
void RaiseInto(EXCEPINFO* info, int32_t number, const std::string& description) noexcept {
    *info = EXCEPINFO{};
    if (number < 0) info->scode = number;
    else if (number > 0 && number <= 0xFFFF) info->wCode = static_cast<WORD>(number);
    else info->scode = E_FAIL;  // neither an HRESULT nor a code wCode can carry
    info->bstrSource = SysAllocString(L"MaxIm.Simulated");
    try {
        info->bstrDescription = com::MakeBstr(description).Release();
    } catch (...) {
        info->bstrDescription = nullptr;
    }
}

HRESULT HResultOf(int32_t number) { return number < 0 ? static_cast<HRESULT>(number) : E_FAIL; }

class SimDispatch final : public com::ComObject<SimDispatch, IDispatch> {
public:
    SimDispatch(std::shared_ptr<Connection> connection, std::string object, const ObjectType& type)
        : connection_(std::move(connection)), object_(std::move(object)), type_(type) {
        ++connection_->liveObjects;
    }

    bool Implements(REFIID riid) const { return riid == IID_IDispatch || riid == *type_.iid; }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        return DISP_E_BADINDEX;
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (count == 0) return S_OK;
        if (!names || !ids) return E_POINTER;
        // Only the member name is looked up; argument names are not supported.
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        const Member* member = FindByName(names[0]);
        if (!member) return DISP_E_UNKNOWNNAME;
        if (const auto& lookup = connection_->host->onNameLookup) {
            try {
                lookup(object_ + "." + member->name);
            } catch (...) {
                return E_UNEXPECTED;
            }
        }
        ids[0] = member->id;
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override {
        try {
            return InvokeMember(id, riid, flags, params, result, argError);
        } catch (const Failure& failure) {
            if (!exception) return HResultOf(failure.Number());
            RaiseInto(exception, failure.Number(), failure.Description());
            return DISP_E_EXCEPTION;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (const std::exception& e) {
            if (!exception) return E_FAIL;
            RaiseInto(exception, E_FAIL, e.what());
            return DISP_E_EXCEPTION;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

private:
    friend ComObject;
    ~SimDispatch() { --connection_->liveObjects; }

    const Member* FindByName(const wchar_t* name) const {
        if (!name) return nullptr;
        for (size_t i = 0; i < type_.memberCount; ++i)
            if (SameNameIgnoringCase(name, type_.members[i].name)) return &type_.members[i];
        return nullptr;
    }
    const Member* FindById(DISPID id) const {
        for (size_t i = 0; i < type_.memberCount; ++i)
            if (type_.members[i].id == id) return &type_.members[i];
        return nullptr;
    }

    HRESULT InvokeMember(DISPID id, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argError) {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (!params || (params->cArgs > 0 && !params->rgvarg)) return E_INVALIDARG;
        const Member* member = FindById(id);
        if (!member) return DISP_E_MEMBERNOTFOUND;
        SimHost* host = connection_->host;
        if (!host) return CO_E_OBJNOTCONNECTED;

        CallKind kind;
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            if (member->method) return DISP_E_MEMBERNOTFOUND;
            // A put names its value DISPID_PROPERTYPUT; anything else is a malformed put.
            if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTFOUND;
            kind = CallKind::Put;
        } else if (member->method && (flags & DISPATCH_METHOD)) {
            kind = CallKind::Call;
        } else if (!member->method && (flags & DISPATCH_PROPERTYGET)) {
            kind = CallKind::Get;
        } else {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (kind != CallKind::Put && params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;

        std::vector<Value> args;
        args.reserve(params->cArgs);
        for (UINT i = params->cArgs; i-- > 0;) {
            const VARIANT& v = params->rgvarg[i];
            // True is -1 and nothing else: a 1 here is a client fault the host would not see
            // as True in every comparison, so it is refused rather than recorded as True.
            if (V_VT(&v) == VT_BOOL && V_BOOL(&v) != VARIANT_TRUE && V_BOOL(&v) != VARIANT_FALSE) {
                if (argError) *argError = i;
                return DISP_E_TYPEMISMATCH;
            }
            args.push_back(ToValue(v));
        }

        const Value answer = host->Invoke(object_, member->name, kind, std::move(args));
        if (result && kind != CallKind::Put) return ToVariant(answer, result);
        return S_OK;
    }

    // Anything but the five value types is recorded as Empty; the host then refuses it.
    static Value ToValue(const VARIANT& v) {
        switch (V_VT(&v)) {
        case VT_BOOL: return Value::Bool(V_BOOL(&v) != VARIANT_FALSE);
        case VT_I2: return Value::I2(V_I2(&v));
        case VT_I4: return Value::I4(V_I4(&v));
        case VT_R8: return Value::R8(V_R8(&v));
        case VT_BSTR: return Value::Bstr(com::BstrToUtf8(V_BSTR(&v)));
        default: return Value{};
        }
    }

    HRESULT ToVariant(const Value& value, VARIANT* out) {
        VariantInit(out);
        switch (value.type) {
        case VarType::Empty: return S_OK;
        case VarType::Null:
            V_VT(out) = VT_NULL;
            return S_OK;
        case VarType::Error:
            V_VT(out) = VT_ERROR;
            V_ERROR(out) = static_cast<SCODE>(value.number);
            return S_OK;
        case VarType::Bool:
            V_VT(out) = VT_BOOL;
            V_BOOL(out) = value.IsTrue() ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        case VarType::I2:
            V_VT(out) = VT_I2;
            V_I2(out) = static_cast<SHORT>(value.number);
            return S_OK;
        case VarType::I4:
            V_VT(out) = VT_I4;
            V_I4(out) = static_cast<LONG>(value.number);
            return S_OK;
        case VarType::R8:
            V_VT(out) = VT_R8;
            V_R8(out) = value.number;
            return S_OK;
        case VarType::Bstr:
            V_BSTR(out) = com::MakeBstr(value.text).Release();
            V_VT(out) = VT_BSTR;
            return S_OK;
        case VarType::Object: {
            V_VT(out) = VT_DISPATCH;
            V_DISPATCH(out) = nullptr;
            if (value.object == Value::kNothing) return S_OK;
            // Position 0 is the document list; n is the host's nth open document.
            const bool list = value.object == 0;
            auto* object = new SimDispatch(connection_, list ? "Documents" : "Document(" + std::to_string(value.object) + ")",
                                           list ? kList : kDocument);
            V_DISPATCH(out) = object;
            return S_OK;
        }
        }
        return E_UNEXPECTED;
    }

    std::shared_ptr<Connection> connection_;
    std::string object_;
    const ObjectType& type_;
};

class SimClassFactory final : public com::ComObject<SimClassFactory, IClassFactory> {
public:
    SimClassFactory(std::shared_ptr<Connection> connection, const char* object, const ObjectType& type)
        : connection_(std::move(connection)), object_(object), type_(type) {}

    bool Implements(REFIID riid) const { return riid == IID_IClassFactory; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        try {
            SimHost* host = connection_->host;
            if (!host) return CO_E_SERVER_STOPPING;
            // Recorded first, so that a test can make the creation itself fail.
            host->Invoke(object_, "", CallKind::Create);
            ComPtr<IDispatch> object = com::Adopt<IDispatch>(new SimDispatch(connection_, object_, type_));
            return object->QueryInterface(riid, ppv);
        } catch (const Failure& failure) {
            return HResultOf(failure.Number());
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    friend ComObject;
    ~SimClassFactory() = default;

    std::shared_ptr<Connection> connection_;
    const char* object_;
    const ObjectType& type_;
};

}  // namespace

SimComServer::SimComServer(SimHost& host) : connection_(std::make_shared<Connection>(Connection{&host})) {}

SimComServer::~SimComServer() {
    Revoke();
    connection_->host = nullptr;
}

long SimComServer::Register() {
    if (cookies_[0] || cookies_[1]) return S_OK;
    struct Class {
        const CLSID& clsid;
        const char* object;
        const ObjectType& type;
    };
    const Class classes[] = {{ids::kCameraClass, "Camera", kCamera}, {ids::kApplicationClass, "Application", kApplication}};
    for (size_t i = 0; i < std::size(classes); ++i) {
        ComPtr<IClassFactory> factory;
        try {
            factory = com::Adopt<IClassFactory>(new SimClassFactory(connection_, classes[i].object, classes[i].type));
        } catch (const std::bad_alloc&) {
            Revoke();
            return E_OUTOFMEMORY;
        }
        // CoRegisterClassObject keeps its own reference. Registered for the in-process context
        // only, the class object serves CoCreateInstance (CLSCTX_SERVER or CLSCTX_INPROC_SERVER)
        // in this apartment directly, with no registry entry and no marshalling, and stays out
        // of the session's class table: another process creating the host's camera, a tester's
        // own script, gets the real host, never this one. Nor does it need COM to have launched
        // this process, as a local-server registration does for a class whose AppID has RunAs.
        DWORD cookie = 0;
        const HRESULT hr = CoRegisterClassObject(classes[i].clsid, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
        if (FAILED(hr)) {
            Revoke();
            return hr;
        }
        cookies_[i] = cookie;
    }
    return S_OK;
}

void SimComServer::Revoke() {
    for (unsigned long& cookie : cookies_) {
        if (cookie) CoRevokeClassObject(cookie);
        cookie = 0;
    }
}

}  // namespace starwright::sim
