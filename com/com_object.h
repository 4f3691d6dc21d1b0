#pragma once
// IUnknown written once for every COM object of the module and its tests: the plug-in and its
// class factory, the window's screen reader objects, the simulated host's server.

#include <windows.h>

#include <unknwn.h>
#include <wrl/client.h>

namespace starwright::com {

// A smart pointer that takes over the one reference the caller already owns: a new object's
// creator reference, or an interface handed out through an [out] parameter or a VARIANT.
// mingw-w64's ComPtr::Attach adds a reference of its own (Microsoft's does not), so every
// object attached with it would live for ever.
template <class T>
Microsoft::WRL::ComPtr<T> Adopt(T* owned) noexcept {
    Microsoft::WRL::ComPtr<T> pointer;
    *pointer.GetAddressOf() = owned;
    return pointer;
}

// For objects that do not keep their module loaded.
struct NoModuleLock {
    static void Lock() noexcept {}
    static void Unlock() noexcept {}
};

// The IUnknown of Derived, which implements Interface (IUnknown included) and answers
// `bool Implements(REFIID) const` for every other IID it is reachable under as Interface; all
// of them give the same pointer, so the object has one identity. A Derived that also implements
// interfaces other than Interface's line gives them from `void* OtherInterface(REFIID)` (nullptr
// for an IID it does not answer), and overrides QueryInterface, AddRef and Release with this
// class's, which are then the ones of every interface it has. It starts with its creator's
// reference and deletes itself when the last one goes. ModuleLock::Lock/Unlock bracket its
// lifetime, for a module whose live objects keep it loaded.
template <class Derived, class Interface, class ModuleLock = NoModuleLock>
class ComObject : public Interface {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
        if (!object) return E_POINTER;
        void* found = nullptr;
        if (riid == IID_IUnknown || static_cast<const Derived*>(this)->Implements(riid)) {
            found = static_cast<Interface*>(this);
        } else if constexpr (requires(Derived& derived, REFIID iid) { derived.OtherInterface(iid); }) {
            found = static_cast<Derived*>(this)->OtherInterface(riid);
        }
        *object = found;
        if (!found) return E_NOINTERFACE;
        ComObject::AddRef();
        return S_OK;
    }

    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return InterlockedIncrement(&references_); }

    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const LONG remaining = InterlockedDecrement(&references_);
        if (remaining == 0) delete static_cast<Derived*>(this);
        return remaining;
    }

protected:
    ComObject() noexcept { ModuleLock::Lock(); }
    ~ComObject() { ModuleLock::Unlock(); }

private:
    LONG references_ = 1;
};

}  // namespace starwright::com
