#include "plugin/type_info.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <mutex>
#include <string>

#include "plugin/identifiers.h"
#include "plugin/module.h"

using Microsoft::WRL::ComPtr;

namespace starwright::plugin {

namespace {

class TypeInfoStore {
public:
    TypeInfoStore() = default;
    TypeInfoStore(const TypeInfoStore&) = delete;
    TypeInfoStore& operator=(const TypeInfoStore&) = delete;

    // Runs when the module is freed. When the process is ending, oleaut32 may be gone already.
    ~TypeInfoStore() {
        if (ProcessTerminating()) {
            (void)dispatch_.Detach();
            (void)vtable_.Detach();
        }
    }

    HRESULT Load() {
        std::lock_guard lock(mutex_);
        if (vtable_) return S_OK;
        std::wstring path;
        try {
            path = ModulePath();
        } catch (...) {
            return E_FAIL;
        }
        ComPtr<ITypeLib> library;
        HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
        if (FAILED(hr)) return hr;
        ComPtr<ITypeInfo> dispatch;
        hr = library->GetTypeInfoOfGuid(kPlugInIid, &dispatch);
        if (FAILED(hr)) return hr;
        ComPtr<ITypeInfo> vtable = dispatch;
        // The library hands out the dispatch half of the dual interface; its vtable half sits
        // behind the implemented-type index -1.
        HREFTYPE vtableRef = 0;
        if (SUCCEEDED(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableRef))) {
            ComPtr<ITypeInfo> half;
            hr = dispatch->GetRefTypeInfo(vtableRef, &half);
            if (FAILED(hr)) return hr;
            vtable = half;
        }
        dispatch_ = dispatch;
        vtable_ = vtable;
        return S_OK;
    }

    HRESULT Get(ITypeInfo** dispatchHalf, ITypeInfo** vtableHalf) {
        HRESULT hr = Load();
        if (FAILED(hr)) return hr;
        std::lock_guard lock(mutex_);
        dispatch_.CopyTo(dispatchHalf);
        vtable_.CopyTo(vtableHalf);
        return S_OK;
    }

private:
    std::mutex mutex_;
    ComPtr<ITypeInfo> dispatch_;
    ComPtr<ITypeInfo> vtable_;
};

TypeInfoStore g_typeInfo;

}  // namespace

HRESULT LoadPlugInTypeInfo() noexcept {
    try {
        return g_typeInfo.Load();
    } catch (...) {  // the lock
        return E_UNEXPECTED;
    }
}

HRESULT GetPlugInTypeInfo(ITypeInfo** dispatchHalf, ITypeInfo** vtableHalf) noexcept {
    try {
        return g_typeInfo.Get(dispatchHalf, vtableHalf);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace starwright::plugin
