#pragma once
// A stand-in for the system's annotation service (CLSID_AccPropServices), registered in this
// process for as long as it lives: it notes every name a control is given and every clearing,
// and answers SetHwndPropStr as told: S_OK as Windows does, or E_NOTIMPL as Wine 8 does, so that
// a test takes the window's way for either system whatever Wine it runs on.

#include <windows.h>

#include <oleacc.h>

#include <string>
#include <vector>

#include "com/com_object.h"

namespace starwright::test {

class StandInAnnotation {
public:
    struct Named {
        HWND hwnd;
        DWORD objectId, childId;
        bool nameProperty;
        std::wstring name;
    };
    struct Cleared {
        HWND hwnd;
        DWORD objectId, childId;
        bool nameProperty;
        bool windowThere;
    };

    explicit StandInAnnotation(HRESULT answer) : answer_(answer) {
        auto* factory = new Factory(*this);
        registered_ = CoRegisterClassObject(CLSID_AccPropServices, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                            &cookie_);
        factory->Release();
    }
    ~StandInAnnotation() {
        if (SUCCEEDED(registered_)) CoRevokeClassObject(cookie_);
    }
    StandInAnnotation(const StandInAnnotation&) = delete;
    StandInAnnotation& operator=(const StandInAnnotation&) = delete;

    HRESULT Registered() const { return registered_; }

    std::vector<Named> named;
    std::vector<Cleared> cleared;

private:
    class Service final : public com::ComObject<Service, IAccPropServices> {
    public:
        explicit Service(StandInAnnotation& owner) : owner_(owner) {}
        bool Implements(REFIID riid) const { return riid == IID_IAccPropServices; }

        HRESULT STDMETHODCALLTYPE SetHwndPropStr(HWND hwnd, DWORD objectId, DWORD childId, MSAAPROPID property,
                                                 LPCWSTR text) override {
            owner_.named.push_back({hwnd, objectId, childId, property == PROPID_ACC_NAME, text ? text : L""});
            return owner_.answer_;
        }
        HRESULT STDMETHODCALLTYPE ClearHwndProps(HWND hwnd, DWORD objectId, DWORD childId, const MSAAPROPID* properties,
                                                 int count) override {
            bool name = false;
            for (int i = 0; i < count; ++i) name = name || properties[i] == PROPID_ACC_NAME;
            owner_.cleared.push_back({hwnd, objectId, childId, name, IsWindow(hwnd) != FALSE});
            return S_OK;
        }

        HRESULT STDMETHODCALLTYPE SetPropValue(const BYTE*, DWORD, MSAAPROPID, VARIANT) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetPropServer(const BYTE*, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                                AnnoScope) override {
            return E_NOTIMPL;
        }
        HRESULT STDMETHODCALLTYPE ClearProps(const BYTE*, DWORD, const MSAAPROPID*, int) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetHwndProp(HWND, DWORD, DWORD, MSAAPROPID, VARIANT) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetHwndPropServer(HWND, DWORD, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                                    AnnoScope) override {
            return E_NOTIMPL;
        }
        HRESULT STDMETHODCALLTYPE ComposeHwndIdentityString(HWND, DWORD, DWORD, BYTE**, DWORD*) override {
            return E_NOTIMPL;
        }
        HRESULT STDMETHODCALLTYPE DecomposeHwndIdentityString(const BYTE*, DWORD, HWND*, DWORD*, DWORD*) override {
            return E_NOTIMPL;
        }
        HRESULT STDMETHODCALLTYPE SetHmenuProp(HMENU, DWORD, MSAAPROPID, VARIANT) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetHmenuPropStr(HMENU, DWORD, MSAAPROPID, LPCWSTR) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetHmenuPropServer(HMENU, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                                     AnnoScope) override {
            return E_NOTIMPL;
        }
        HRESULT STDMETHODCALLTYPE ClearHmenuProps(HMENU, DWORD, const MSAAPROPID*, int) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE ComposeHmenuIdentityString(HMENU, DWORD, BYTE**, DWORD*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE DecomposeHmenuIdentityString(const BYTE*, DWORD, HMENU*, DWORD*) override {
            return E_NOTIMPL;
        }

    private:
        StandInAnnotation& owner_;
    };

    class Factory final : public com::ComObject<Factory, IClassFactory> {
    public:
        explicit Factory(StandInAnnotation& owner) : owner_(owner) {}
        bool Implements(REFIID riid) const { return riid == IID_IClassFactory; }
        HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
            if (!object) return E_POINTER;
            *object = nullptr;
            if (outer) return CLASS_E_NOAGGREGATION;
            auto* service = new Service(owner_);
            const HRESULT hr = service->QueryInterface(riid, object);
            service->Release();
            return hr;
        }
        HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

    private:
        StandInAnnotation& owner_;
    };

    HRESULT answer_;
    HRESULT registered_ = E_FAIL;
    DWORD cookie_ = 0;
};

}  // namespace starwright::test
