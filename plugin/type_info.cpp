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
        if (ProcessTerminating()) (void)dispatch_.Detach();
    }

    HRESULT Load() {
        std::lock_guard lock(mutex_);
        if (dispatch_) return S_OK;
        std::wstring path;
        try {
            path = ModulePath();
        } catch (...) {
            return E_FAIL;
        }
        ComPtr<ITypeLib> library;
        HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
        if (FAILED(hr)) return hr;
        // The library hands out the dispatch half of the dual interface.
        return library->GetTypeInfoOfGuid(kPlugInIid, &dispatch_);
    }

    HRESULT Get(ITypeInfo** dispatchHalf) {
        HRESULT hr = Load();
        if (FAILED(hr)) return hr;
        std::lock_guard lock(mutex_);
        return dispatch_.CopyTo(dispatchHalf);
    }

private:
    std::mutex mutex_;
    ComPtr<ITypeInfo> dispatch_;
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

HRESULT GetPlugInTypeInfo(ITypeInfo** dispatchHalf) noexcept {
    try {
        return g_typeInfo.Get(dispatchHalf);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace starwright::plugin
