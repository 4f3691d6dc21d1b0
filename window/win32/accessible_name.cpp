#include "window/win32/accessible_name.h"

#include <oleacc.h>
#include <servprov.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

#include "com/com_object.h"
#include "window/win32/system_oleacc.h"

// mingw-w64's oleacc.h gives IAccIdentity no __uuidof, which ComPtr::As needs.
__CRT_UUID_DECL(IAccIdentity, 0x7852b78d, 0x1cfd, 0x41c1, 0xa6, 0x15, 0x9c, 0x0c, 0x85, 0x96, 0x0b, 0x5f)

namespace starwright {

namespace {

using Microsoft::WRL::ComPtr;

std::atomic<long> g_liveObjects{0};

struct LiveObjectCount {
    static void Lock() noexcept { ++g_liveObjects; }
    static void Unlock() noexcept { --g_liveObjects; }
};

bool IsSelf(const VARIANT& child) { return V_VT(&child) == VT_I4 && V_I4(&child) == CHILDID_SELF; }

// What a call that fails leaves in its out-parameters: nothing a caller could free or use.
void Clear(BSTR* text) {
    if (text) *text = nullptr;
}
void Clear(VARIANT* value) {
    if (value) VariantInit(value);
}
void Clear(IDispatch** object) {
    if (object) *object = nullptr;
}
void Clear(LONG* number) {
    if (number) *number = 0;
}

// The system's accessible object for a control, its client area's or its window's, telling the
// control's name as its own. Everything else is the system object's: role, state, value,
// location, a list's entries, and the other interfaces a client reaches it through, each
// answered exactly when the system object answers it (UI Automation asks IServiceProvider for
// the patterns it adds, such as a drop-down list's expand and collapse). When its control is
// destroyed it is disconnected: it lets the system object go, and every call fails from then on,
// so that no client reads the name through a window handle the system has given to another
// window since.
class NamedAccessible final : public com::ComObject<NamedAccessible, IAccessible, LiveObjectCount>,
                              public IEnumVARIANT,
                              public IOleWindow,
                              public IServiceProvider,
                              public IAccIdentity {
    using Base = com::ComObject<NamedAccessible, IAccessible, LiveObjectCount>;

public:
    NamedAccessible(ComPtr<IAccessible> system, std::wstring name) : system_(std::move(system)), name_(std::move(name)) {
        for (size_t i = 0; i < kOthers; ++i) {
            ComPtr<IUnknown> other;
            answers_[i] = SUCCEEDED(system_->QueryInterface(*kOtherIids[i], reinterpret_cast<void**>(other.GetAddressOf())));
        }
    }

    // From the control's end on, calls fail and nothing of the system's is held.
    void Disconnect() noexcept {
        ComPtr<IAccessible> system;
        AcquireSRWLockExclusive(&lock_);
        system_.Swap(system);
        ReleaseSRWLockExclusive(&lock_);
    }

    bool Implements(REFIID riid) const { return riid == __uuidof(IDispatch) || riid == __uuidof(IAccessible); }
    void* OtherInterface(REFIID riid) {
        void* const others[kOthers] = {static_cast<IEnumVARIANT*>(this), static_cast<IOleWindow*>(this),
                                       static_cast<IServiceProvider*>(this), static_cast<IAccIdentity*>(this)};
        for (size_t i = 0; i < kOthers; ++i)
            if (riid == *kOtherIids[i]) return answers_[i] ? others[i] : nullptr;
        return nullptr;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
        return Base::QueryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return Base::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return Base::Release(); }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!name) return E_POINTER;
        if (!IsSelf(child)) return Forward<IAccessible>([&](IAccessible* s) { return s->get_accName(child, name); }, name);
        *name = nullptr;
        if (!System()) return RPC_E_DISCONNECTED;
        *name = SysAllocStringLen(name_.data(), static_cast<UINT>(name_.size()));
        return *name ? S_OK : E_OUTOFMEMORY;
    }

    // A late-bound client calls through IDispatch: the system object's type information
    // invoked on this object, so that it hears the same name.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override {
        return Forward<IAccessible>([&](IAccessible* s) {
            ComPtr<ITypeInfo> info;
            if (riid != IID_NULL || FAILED(s->GetTypeInfo(0, lcid, &info)) || !info)
                return s->Invoke(id, riid, lcid, flags, params, result, exception, argError);
            return DispInvoke(static_cast<IAccessible*>(this), info.Get(), id, flags, params, result, exception, argError);
        });
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->GetTypeInfoCount(count); });
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return Forward<IAccessible>([&](IAccessible* s) { return s->GetTypeInfo(index, lcid, info); });
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->GetIDsOfNames(riid, names, count, lcid, ids); });
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->get_accParent(parent); }, parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->get_accChildCount(count); }, count);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->get_accChild(child, object); }, object);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->get_accValue(child, value); }, value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->get_accDescription(child, text); }, text);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->get_accRole(child, role); }, role);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->get_accState(child, state); }, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->get_accHelp(child, help); }, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->get_accHelpTopic(file, child, topic); }, file, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->get_accKeyboardShortcut(child, shortcut); }, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->get_accFocus(child); }, child);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->get_accSelection(children); }, children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->get_accDefaultAction(child, action); }, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->accSelect(flags, child); });
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->accLocation(left, top, width, height, child); }, left,
                                    top, width, height);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->accNavigate(direction, start, end); }, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->accHitTest(x, y, child); }, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->accDoDefaultAction(child); });
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->put_accName(child, name); });
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return Forward<IAccessible>([&](IAccessible* s) { return s->put_accValue(child, value); });
    }

    // A list's entries one by one.
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) override {
        if (fetched) *fetched = 0;
        return Forward<IEnumVARIANT>([&](IEnumVARIANT* s) { return s->Next(count, items, fetched); });
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        return Forward<IEnumVARIANT>([&](IEnumVARIANT* s) { return s->Skip(count); });
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        return Forward<IEnumVARIANT>([&](IEnumVARIANT* s) { return s->Reset(); });
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override {
        if (copy) *copy = nullptr;
        return Forward<IEnumVARIANT>([&](IEnumVARIANT* s) { return s->Clone(copy); });
    }

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (window) *window = nullptr;
        return Forward<IOleWindow>([&](IOleWindow* s) { return s->GetWindow(window); });
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override {
        return Forward<IOleWindow>([&](IOleWindow* s) { return s->ContextSensitiveHelp(enter); });
    }

    // A service that is the system object itself is this object, which tells the name.
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        return Forward<IServiceProvider>([&](IServiceProvider* s) {
            ComPtr<IUnknown> found;
            const HRESULT hr = s->QueryService(service, riid, reinterpret_cast<void**>(found.GetAddressOf()));
            if (FAILED(hr) || !found) return hr;
            ComPtr<IUnknown> foundIdentity, systemIdentity;
            found.As(&foundIdentity);
            s->QueryInterface(IID_PPV_ARGS(&systemIdentity));
            if (foundIdentity && foundIdentity == systemIdentity) return QueryInterface(riid, object);
            *object = found.Detach();
            return hr;
        });
    }

    HRESULT STDMETHODCALLTYPE GetIdentityString(DWORD child, BYTE** identity, DWORD* length) override {
        if (identity) *identity = nullptr;
        if (length) *length = 0;
        return Forward<IAccIdentity>([&](IAccIdentity* s) { return s->GetIdentityString(child, identity, length); });
    }

private:
    static constexpr size_t kOthers = 4;
    static inline const IID* const kOtherIids[kOthers] = {&IID_IEnumVARIANT, &IID_IOleWindow, &IID_IServiceProvider,
                                                           &IID_IAccIdentity};

    ComPtr<IAccessible> System() noexcept {
        ComPtr<IAccessible> system;
        AcquireSRWLockShared(&lock_);
        system = system_;
        ReleaseSRWLockShared(&lock_);
        return system;
    }

    // `call` on the system object's `Target`, or RPC_E_DISCONNECTED with `outs` cleared once the
    // control has gone.
    template <class Target, class Call, class... Out>
    HRESULT Forward(Call call, Out... outs) noexcept {
        ComPtr<Target> target;
        if (ComPtr<IAccessible> system = System()) {
            if constexpr (std::is_same_v<Target, IAccessible>) {
                target = std::move(system);
            } else {
                system.As(&target);
            }
        }
        if (!target) {
            (Clear(outs), ...);
            return System() ? E_NOINTERFACE : RPC_E_DISCONNECTED;
        }
        return call(target.Get());
    }

    SRWLOCK lock_ = SRWLOCK_INIT;
    ComPtr<IAccessible> system_;
    const std::wstring name_;
    bool answers_[kOthers] = {};
};

// What a named control keeps: the window procedure it had and its name, and either the system's
// annotation service, which tells the name and is told to forget it as the control goes, or the
// objects handed out in its place. The control owns it (its user data, which the system's
// controls leave to the program that made them; a window property would cost a trip to the
// window server under Wine for every message, and a list takes one per entry) and frees it as
// it is destroyed.
struct NamedControl {
    WNDPROC previous = nullptr;
    std::wstring name;
    ComPtr<IAccPropServices> annotation;
    // One object for the client area and one for the window, each made at its first request and
    // handed to every client after: a screen reader asks at every event it hears.
    ComPtr<NamedAccessible> client, window;
};

// The system's own annotation of the control's name, where it has one that works: the system's
// accessible object then tells the name itself, with everything else it answers, to every
// client, UI Automation's included. Wine 8 answers "not implemented"; without COM on the thread
// there is none either.
ComPtr<IAccPropServices> Annotate(HWND control, const std::wstring& name) {
    ComPtr<IAccPropServices> services;
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                reinterpret_cast<void**>(services.GetAddressOf()))) ||
        !services)
        return nullptr;
    if (FAILED(services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME,
                                        name.c_str())))
        return nullptr;
    return services;
}

// The answer to WM_GETOBJECT for the client area or the window: the object the control itself
// gives (the system makes one when it gives none), named. 0 lets the system answer unnamed.
LRESULT AnswerGetObject(HWND hwnd, NamedControl& named, LONG objectId, WPARAM wParam, LPARAM lParam) {
    OleaccFunctions oleacc;
    if (!SystemOleacc(oleacc)) return 0;
    ComPtr<NamedAccessible>& answer = objectId == OBJID_CLIENT ? named.client : named.window;
    if (!answer) {
        ComPtr<IAccessible> system;
        const LRESULT own = CallWindowProcW(named.previous, hwnd, WM_GETOBJECT, wParam, lParam);
        const HRESULT hr = own > 0 ? oleacc.objectFromLresult(own, __uuidof(IAccessible), wParam,
                                                              reinterpret_cast<void**>(system.GetAddressOf()))
                                   : oleacc.createStdAccessibleObject(hwnd, objectId, __uuidof(IAccessible),
                                                                      reinterpret_cast<void**>(system.GetAddressOf()));
        if (FAILED(hr) || !system) return 0;
        answer = com::Adopt(new NamedAccessible(std::move(system), named.name));
    }
    const LRESULT result = oleacc.lresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(answer.Get()));
    return result > 0 ? result : 0;
}

// The objects handed out for the control are let go by every client in other apartments and
// processes (COM answers their next call with "disconnected"), and fail any call from this one.
void Disconnect(NamedControl& named) {
    for (ComPtr<NamedAccessible>* object : {std::addressof(named.client), std::addressof(named.window)}) {
        if (!*object) continue;
        (*object)->Disconnect();
        CoDisconnectObject(static_cast<IAccessible*>(object->Get()), 0);
        object->Reset();
    }
}

LRESULT CALLBACK NamedControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* named = reinterpret_cast<NamedControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!named) return DefWindowProcW(hwnd, message, wParam, lParam);
    const WNDPROC previous = named->previous;
    // The object id arrives in the low 32 bits; on 64-bit Windows the rest may be anything.
    const auto objectId = static_cast<LONG>(static_cast<DWORD>(lParam));
    if (message == WM_GETOBJECT && !named->annotation && (objectId == OBJID_CLIENT || objectId == OBJID_WINDOW)) {
        try {
            if (const LRESULT answer = AnswerGetObject(hwnd, *named, objectId, wParam, lParam)) return answer;
        } catch (...) {
            // Out of memory: the system's own object answers, without the name.
        }
    }
    // While the window is still there: the annotation is kept by the handle, which the system
    // may give to another window once this one is gone.
    if (message == WM_DESTROY && named->annotation)
        named->annotation->ClearHwndProps(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &PROPID_ACC_NAME, 1);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        Disconnect(*named);
        delete named;
    }
    return CallWindowProcW(previous, hwnd, message, wParam, lParam);
}

}  // namespace

void NameForAssistiveTools(HWND control, std::wstring_view name) {
    std::unique_ptr<NamedControl> named;
    try {
        named = std::make_unique<NamedControl>();
        named->name.assign(name);
    } catch (const std::bad_alloc&) {
        return;
    }
    named->previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(control, GWLP_WNDPROC));
    if (!named->previous || GetWindowLongPtrW(control, GWLP_USERDATA) != 0) return;
    SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(named.get()));
    if (!SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&NamedControlProc))) {
        SetWindowLongPtrW(control, GWLP_USERDATA, 0);
        return;
    }
    named->annotation = Annotate(control, named->name);
    named.release();  // the control's now, freed with it
}

LRESULT SendPastName(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(control, GWLP_WNDPROC)) == &NamedControlProc) {
        if (auto* named = reinterpret_cast<NamedControl*>(GetWindowLongPtrW(control, GWLP_USERDATA)))
            return CallWindowProcW(named->previous, control, message, wParam, lParam);
    }
    return SendMessageW(control, message, wParam, lParam);
}

bool AccessibleObjectsInUse() { return g_liveObjects.load() != 0; }

}  // namespace starwright
