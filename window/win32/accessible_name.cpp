#include "window/win32/accessible_name.h"

#include <oleacc.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "com/com_object.h"
#include "window/win32/system_oleacc.h"

namespace starwright {

namespace {

using Microsoft::WRL::ComPtr;

std::atomic<long> g_liveObjects{0};

struct LiveObjectCount {
    static void Lock() noexcept { ++g_liveObjects; }
    static void Unlock() noexcept { --g_liveObjects; }
};

bool IsSelf(const VARIANT& child) { return V_VT(&child) == VT_I4 && V_I4(&child) == CHILDID_SELF; }

// The system's accessible object for a control, telling the control's name as its own.
// Everything else is the system object's: role, state, value, location, and a list's entries.
class NamedAccessible final : public com::ComObject<NamedAccessible, IAccessible, LiveObjectCount> {
public:
    NamedAccessible(ComPtr<IAccessible> system, HWND control, const std::wstring& name)
        : system_(std::move(system)), control_(control), name_(name) {}

    bool Implements(REFIID riid) const { return riid == __uuidof(IDispatch) || riid == __uuidof(IAccessible); }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!name) return E_POINTER;
        // Once the control is gone the system object answers, as for any window that has gone.
        if (!IsSelf(child) || !IsWindow(control_)) return system_->get_accName(child, name);
        *name = SysAllocStringLen(name_.data(), static_cast<UINT>(name_.size()));
        return *name ? S_OK : E_OUTOFMEMORY;
    }

    // A late-bound client calls through IDispatch: the system object's type information
    // invoked on this object, so that it hears the same name.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override {
        ComPtr<ITypeInfo> info;
        if (riid != IID_NULL || FAILED(system_->GetTypeInfo(0, lcid, &info)) || !info)
            return system_->Invoke(id, riid, lcid, flags, params, result, exception, argError);
        return DispInvoke(static_cast<IAccessible*>(this), info.Get(), id, flags, params, result, exception, argError);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return system_->GetTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
        return system_->GetTypeInfo(index, lcid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return system_->GetIDsOfNames(riid, names, count, lcid, ids);
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return system_->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override { return system_->get_accChildCount(count); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return system_->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override { return system_->get_accValue(child, value); }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return system_->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override { return system_->get_accRole(child, role); }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return system_->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override { return system_->get_accHelp(child, help); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        return system_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return system_->get_accKeyboardShortcut(child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return system_->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override { return system_->get_accSelection(children); }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return system_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override { return system_->accSelect(flags, child); }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
        return system_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        return system_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override { return system_->accHitTest(x, y, child); }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override { return system_->accDoDefaultAction(child); }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override { return system_->put_accName(child, name); }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return system_->put_accValue(child, value);
    }

private:
    ComPtr<IAccessible> system_;
    HWND control_;
    std::wstring name_;
};

// What a named control keeps: the window procedure it had and its name. The control owns it
// (its user data, which the system's controls leave to the program that made them; a window
// property would cost a trip to the window server under Wine for every message, and a list
// takes one per entry) and frees it as it is destroyed.
struct NamedControl {
    WNDPROC previous = nullptr;
    std::wstring name;
};

// The answer to WM_GETOBJECT for the client area: the object the control itself gives (the
// system makes one when it gives none), named. 0 lets the system answer unnamed.
LRESULT AnswerGetObject(HWND hwnd, const NamedControl& named, WPARAM wParam, LPARAM lParam) {
    OleaccFunctions oleacc;
    if (!SystemOleacc(oleacc)) return 0;
    ComPtr<IAccessible> system;
    const LRESULT own = CallWindowProcW(named.previous, hwnd, WM_GETOBJECT, wParam, lParam);
    const HRESULT hr = own > 0 ? oleacc.objectFromLresult(own, __uuidof(IAccessible), wParam,
                                                          reinterpret_cast<void**>(system.GetAddressOf()))
                               : oleacc.createStdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                                                  reinterpret_cast<void**>(system.GetAddressOf()));
    if (FAILED(hr) || !system) return 0;
    const ComPtr<IAccessible> answer = com::Adopt<IAccessible>(new NamedAccessible(std::move(system), hwnd, named.name));
    const LRESULT result = oleacc.lresultFromObject(__uuidof(IAccessible), wParam, answer.Get());
    return result > 0 ? result : 0;
}

LRESULT CALLBACK NamedControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* named = reinterpret_cast<NamedControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!named) return DefWindowProcW(hwnd, message, wParam, lParam);
    const WNDPROC previous = named->previous;
    // The object id arrives in the low 32 bits; on 64-bit Windows the rest may be anything.
    if (message == WM_GETOBJECT && static_cast<DWORD>(lParam) == static_cast<DWORD>(OBJID_CLIENT)) {
        try {
            if (const LRESULT answer = AnswerGetObject(hwnd, *named, wParam, lParam)) return answer;
        } catch (...) {
            // Out of memory: the system's own object answers, without the name.
        }
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
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
