#include "plugin/class_factory.h"

#include <atomic>
#include <new>

#include "com/com_object.h"
#include "plugin/identifiers.h"
#include "plugin/module.h"
#include "plugin/plug_in.h"
#include "plugin/type_info.h"

namespace starwright::plugin {

namespace {

// The LockServer share of the module lock, counted apart so that a client's unlock without a
// lock cannot take the module lock below what live objects hold, nor below zero, where
// DllCanUnloadNow would answer "in use" for good.
std::atomic<long> g_serverLocks{0};

class ClassFactory final : public com::ComObject<ClassFactory, IClassFactory, LiveObjectLock> {
public:
    bool Implements(REFIID riid) const { return riid == IID_IClassFactory; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return CreatePlugIn(riid, object);
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            ++g_serverLocks;
            LockModule();
            return S_OK;
        }
        long held = g_serverLocks.load();
        do {
            if (held == 0) return S_OK;
        } while (!g_serverLocks.compare_exchange_weak(held, held - 1));
        UnlockModule();
        return S_OK;
    }
};

}  // namespace

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid != kPlugInClsid) return CLASS_E_CLASSNOTAVAILABLE;
    // Now, while the file is surely the one the module was loaded from (type_info.h).
    (void)LoadPlugInTypeInfo();
    auto* factory = new (std::nothrow) ClassFactory();
    if (!factory) return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, object);
    factory->Release();
    return hr;
}

}  // namespace starwright::plugin
