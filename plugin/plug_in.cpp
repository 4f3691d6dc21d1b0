#include "plugin/plug_in.h"

#include <wrl/client.h>

#include <new>

#include "com/com_object.h"
#include "plugin/identifiers.h"
#include "plugin/module.h"
#include "plugin/plug_in_interface.h"
#include "plugin/type_info.h"
#include "plugin/window_slot.h"

using Microsoft::WRL::ComPtr;

namespace starwright::plugin {

namespace {

constexpr wchar_t kName[] = L"Starwright 1.0";

bool SameName(const wchar_t* name, const wchar_t* member) noexcept {
    return name && CompareStringOrdinal(name, -1, member, -1, TRUE) == CSTR_EQUAL;
}

// DoModal's one parameter, whose DISPID is its position.
constexpr DISPID kDocId = 0;

// The first name is a member's, the others are parameters of that member; each unknown name is
// answered with DISPID_UNKNOWN.
HRESULT IdsOfNames(LPOLESTR* names, UINT count, DISPID* ids) noexcept {
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        DISPID id = DISPID_UNKNOWN;
        if (i == 0 && SameName(names[0], L"DoModal")) id = kDispIdDoModal;
        if (i == 0 && SameName(names[0], L"Name")) id = kDispIdName;
        if (i > 0 && ids[0] == kDispIdDoModal && SameName(names[i], L"Doc")) id = kDocId;
        ids[i] = id;
        if (id == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

// DoModal's argument, an object reference typed by the host's document interface, as
// ITypeInfo::Invoke would convert it, but without the host's type library, which need not load:
// an object (also by reference, or in a variant by reference) that answers to that interface,
// or no object at all. Doc is its one argument, by position or by name.
HRESULT DocumentArgument(const DISPPARAMS& params, ComPtr<IDispatch>* document, UINT* argumentError) noexcept {
    if (params.cArgs != 1) return DISP_E_BADPARAMCOUNT;
    auto refuse = [argumentError](HRESULT hr) {
        if (argumentError) *argumentError = 0;
        return hr;
    };
    if (params.cNamedArgs == 1 && params.rgdispidNamedArgs[0] != kDocId) return refuse(DISP_E_PARAMNOTFOUND);
    const VARIANT* argument = &params.rgvarg[0];
    if (V_VT(argument) == (VT_BYREF | VT_VARIANT)) argument = V_VARIANTREF(argument);
    if (!argument) return refuse(DISP_E_TYPEMISMATCH);
    // How clients pass an argument they leave out.
    if (V_VT(argument) == VT_ERROR && V_ERROR(argument) == DISP_E_PARAMNOTFOUND)
        return refuse(DISP_E_PARAMNOTOPTIONAL);
    const VARTYPE type = V_VT(argument) & ~VT_BYREF;
    if (type != VT_DISPATCH && type != VT_UNKNOWN) return refuse(DISP_E_TYPEMISMATCH);
    IUnknown* object = V_UNKNOWN(argument);
    if (V_ISBYREF(argument)) {
        if (!V_UNKNOWNREF(argument)) return refuse(DISP_E_TYPEMISMATCH);
        object = *V_UNKNOWNREF(argument);
    }
    if (!object) return S_OK;
    const HRESULT hr = object->QueryInterface(kHostDocumentIid, reinterpret_cast<void**>(document->GetAddressOf()));
    return FAILED(hr) ? refuse(DISP_E_TYPEMISMATCH) : S_OK;
}

class PlugIn final : public com::ComObject<PlugIn, _PlugIn, LiveObjectLock> {
public:
    bool Implements(REFIID riid) const { return riid == IID_IDispatch || riid == __uuidof(_PlugIn); }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return GetPlugInTypeInfo(info);
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) noexcept override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (!names || !ids) return E_POINTER;
        return IdsOfNames(names, count, ids);
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT* argumentError) noexcept override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (!params || params->cNamedArgs > params->cArgs || (params->cArgs && !params->rgvarg) ||
            (params->cNamedArgs && !params->rgdispidNamedArgs))
            return E_INVALIDARG;
        switch (member) {
        case kDispIdName:
            // Script engines ask for a property with DISPATCH_METHOD | DISPATCH_PROPERTYGET. Name is
            // read-only: a put finds no member to call.
            if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
            // Arguments to a property without parameters would index its value as a collection,
            // which a String is not.
            if (params->cArgs) return DISP_E_NOTACOLLECTION;
            return NameInto(result);
        case kDispIdDoModal: {
            if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
            ComPtr<IDispatch> document;
            const HRESULT hr = DocumentArgument(*params, &document, argumentError);
            if (FAILED(hr)) return hr;
            if (result) V_VT(result) = VT_EMPTY;
            return DoModal(document.Get());
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

    HRESULT STDMETHODCALLTYPE DoModal(IDispatch* Doc) override {
        // The document is only held for the call, never used.
        ComPtr<IDispatch> document(Doc);
        // The host may release this object, and ask the module whether it can unload, from
        // inside the modal loop; the live object keeps the module loaded under the running call.
        ComPtr<_PlugIn> self(this);
        try {
            ShowToolWindow();
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
    }

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* Name) override {
        if (!Name) return E_POINTER;
        *Name = SysAllocString(kName);
        return *Name ? S_OK : E_OUTOFMEMORY;
    }

private:
    HRESULT NameInto(VARIANT* result) noexcept {
        if (!result) return S_OK;
        const HRESULT hr = get_Name(&V_BSTR(result));
        V_VT(result) = SUCCEEDED(hr) ? VT_BSTR : VT_EMPTY;
        return hr;
    }
};

}  // namespace

HRESULT CreatePlugIn(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    auto* plugIn = new (std::nothrow) PlugIn();
    if (!plugIn) return E_OUTOFMEMORY;
    HRESULT hr = plugIn->QueryInterface(riid, object);
    plugIn->Release();
    return hr;
}

}  // namespace starwright::plugin
