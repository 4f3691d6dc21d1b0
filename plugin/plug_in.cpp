#include "plugin/plug_in.h"

#include <wrl/client.h>

#include <new>

#include "com/com_object.h"
#include "plugin/module.h"
#include "plugin/plug_in_interface.h"
#include "plugin/type_info.h"
#include "plugin/window_slot.h"

using Microsoft::WRL::ComPtr;

namespace starwright::plugin {

namespace {

constexpr wchar_t kName[] = L"Starwright 1.0";

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
        HRESULT hr = LoadTypeInfo();
        if (FAILED(hr)) return hr;
        return dispatchInfo_.CopyTo(info);
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        HRESULT hr = LoadTypeInfo();
        if (FAILED(hr)) return hr;
        return vtableInfo_->GetIDsOfNames(names, count, ids);
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        HRESULT hr = LoadTypeInfo();
        if (FAILED(hr)) return hr;
        return vtableInfo_->Invoke(static_cast<_PlugIn*>(this), member, flags, params, result, exception,
                                   argumentError);
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
    // The module's own, held by the object from its first IDispatch call.
    HRESULT LoadTypeInfo() {
        if (vtableInfo_) return S_OK;
        return GetPlugInTypeInfo(&dispatchInfo_, &vtableInfo_);
    }

    ComPtr<ITypeInfo> dispatchInfo_;
    ComPtr<ITypeInfo> vtableInfo_;
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
