// Starwright.dll's class factory, module lock and PlugIn object, loaded the way COM loads an
// in-process server: LoadLibrary and the exported DllGetClassObject / DllCanUnloadNow.

#include <windows.h>

#include <ole2.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>

#include "plugin/identifiers.h"
#include "plugin/plug_in_interface.h"
#include "tests/wine/plugin_test_support.h"
#include "tests/wine/windows_only.h"

using Microsoft::WRL::ComPtr;
using namespace starwright::plugin;
using starwright::test::BesideTest;
using starwright::test::Hex;
using starwright::test::OwnedBstr;
using starwright::test::OwnedVariant;

namespace {

using starwright::test::ExportOf;
using starwright::test::GetClassObjectFn;
using CanUnloadNowFn = starwright::test::NoArgumentExportFn;

class PlugInModule : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const HRESULT registered = starwright::test::HostLibraryFound();
        ASSERT_EQ(registered, S_OK) << Hex(registered);
        module_ = LoadLibraryW(BesideTest(L"Starwright.dll").c_str());
        ASSERT_NE(module_, nullptr);
        getClassObject_ = ExportOf<GetClassObjectFn>(module_, "DllGetClassObject");
        canUnloadNow_ = ExportOf<CanUnloadNowFn>(module_, "DllCanUnloadNow");
    }
    // Unloading releases the window objects the module keeps; it must neither fault nor hang.
    static void TearDownTestSuite() {
        if (!module_) return;
        EXPECT_EQ(canUnloadNow_(), S_OK);
        EXPECT_TRUE(FreeLibrary(module_));
        EXPECT_EQ(GetModuleHandleW(L"Starwright.dll"), nullptr);
        module_ = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(getClassObject_, nullptr);
        ASSERT_NE(canUnloadNow_, nullptr);
    }

    ComPtr<IClassFactory> Factory() {
        ComPtr<IClassFactory> factory;
        const HRESULT hr = getClassObject_(kPlugInClsid, IID_IClassFactory, &factory);
        EXPECT_EQ(hr, S_OK) << Hex(hr);
        return factory;
    }

    ComPtr<_PlugIn> NewPlugIn() {
        ComPtr<_PlugIn> plugIn;
        ComPtr<IClassFactory> factory = Factory();
        if (!factory) return plugIn;
        const HRESULT hr = factory->CreateInstance(nullptr, __uuidof(_PlugIn), &plugIn);
        EXPECT_EQ(hr, S_OK) << Hex(hr);
        return plugIn;
    }

    static HMODULE module_;
    static GetClassObjectFn getClassObject_;
    static CanUnloadNowFn canUnloadNow_;
};

HMODULE PlugInModule::module_ = nullptr;
GetClassObjectFn PlugInModule::getClassObject_ = nullptr;
CanUnloadNowFn PlugInModule::canUnloadNow_ = nullptr;

TEST_F(PlugInModule, ClassObjectOnlyForPlugIn) {
    const GUID otherClsid = {0x0002DF01, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    const struct {
        const char* what;
        GUID clsid;
        GUID iid;
        HRESULT expected;
    } cases[] = {
        {"PlugIn, IClassFactory", kPlugInClsid, IID_IClassFactory, S_OK},
        {"PlugIn, IUnknown", kPlugInClsid, IID_IUnknown, S_OK},
        {"PlugIn, an interface a factory lacks", kPlugInClsid, IID_IDispatch, E_NOINTERFACE},
        {"another class", otherClsid, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"the interface's IID as a class", kPlugInIid, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"the library's LIBID as a class", kLibId, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        void* object = reinterpret_cast<void*>(1);
        const HRESULT hr = getClassObject_(c.clsid, c.iid, &object);
        EXPECT_EQ(hr, c.expected) << Hex(hr);
        if (SUCCEEDED(hr)) {
            static_cast<IUnknown*>(object)->Release();
        } else {
            EXPECT_EQ(object, nullptr);
        }
    }
    EXPECT_EQ(getClassObject_(kPlugInClsid, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(PlugInModule, CreateInstanceRefusals) {
    ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    ComPtr<IUnknown> outer = NewPlugIn();
    ASSERT_TRUE(outer);
    const struct {
        const char* what;
        IUnknown* outer;
        GUID iid;
        HRESULT expected;
    } cases[] = {
        {"aggregation", outer.Get(), IID_IUnknown, CLASS_E_NOAGGREGATION},
        {"unknown interface", nullptr, IID_IClassFactory, E_NOINTERFACE},
        {"IStream", nullptr, IID_IStream, E_NOINTERFACE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(factory->CreateInstance(c.outer, c.iid, &object), c.expected);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(PlugInModule, PlugInInterfaces) {
    ComPtr<_PlugIn> plugIn = NewPlugIn();
    ASSERT_TRUE(plugIn);
    const struct {
        const char* what;
        GUID iid;
        HRESULT expected;
    } cases[] = {
        {"IUnknown", IID_IUnknown, S_OK},
        {"IDispatch", IID_IDispatch, S_OK},
        {"_PlugIn", kPlugInIid, S_OK},
        {"IClassFactory", IID_IClassFactory, E_NOINTERFACE},
        {"IStream", IID_IStream, E_NOINTERFACE},
        {"the host's document interface", kHostDocumentIid, E_NOINTERFACE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(plugIn->QueryInterface(c.iid, &object), c.expected);
        if (c.expected == S_OK) {
            ASSERT_NE(object, nullptr);
            // One identity: every interface is the same object.
            EXPECT_EQ(object, static_cast<void*>(plugIn.Get()));
            static_cast<IUnknown*>(object)->Release();
        } else {
            EXPECT_EQ(object, nullptr);
        }
    }
    EXPECT_EQ(plugIn->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(PlugInModule, UnloadOnlyWithoutObjectsAndLocks) {
    ASSERT_EQ(canUnloadNow_(), S_OK) << "a previous test left an object alive";
    {
        ComPtr<IClassFactory> factory = Factory();
        ASSERT_TRUE(factory);
        EXPECT_EQ(canUnloadNow_(), S_FALSE) << "factory alive";
        ComPtr<IUnknown> plugIn;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, &plugIn), S_OK);
        ASSERT_EQ(factory->LockServer(TRUE), S_OK);
        factory.Reset();
        EXPECT_EQ(canUnloadNow_(), S_FALSE) << "object and lock";
        plugIn.Reset();
        EXPECT_EQ(canUnloadNow_(), S_FALSE) << "lock only";
        ASSERT_EQ(getClassObject_(kPlugInClsid, IID_IClassFactory, &factory), S_OK);
        ASSERT_EQ(factory->LockServer(FALSE), S_OK);
        EXPECT_EQ(canUnloadNow_(), S_FALSE) << "factory alive again";
        // A client's unlock without a lock is ignored: it neither frees the module under a
        // live factory nor leaves it in use for good.
        ASSERT_EQ(factory->LockServer(FALSE), S_OK);
        EXPECT_EQ(canUnloadNow_(), S_FALSE) << "factory alive after an unmatched unlock";
    }
    EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(PlugInModule, NameThroughVtableAndDispatch) {
    ComPtr<_PlugIn> plugIn = NewPlugIn();
    ASSERT_TRUE(plugIn);
    for (int call = 0; call < 2; ++call) {
        OwnedBstr name;
        ASSERT_EQ(plugIn->get_Name(&name.text), S_OK);
        EXPECT_EQ(name.Text(), L"Starwright 1.0");
        EXPECT_EQ(SysStringLen(name.text), 14u);
    }
    EXPECT_EQ(plugIn->get_Name(nullptr), E_POINTER);

    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(plugIn.As(&dispatch), S_OK);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Name")};
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, kDispIdName);
    LPOLESTR doModal[] = {const_cast<LPOLESTR>(L"DoModal")};
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, doModal, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, kDispIdDoModal);

    // A property get as compiled clients make it, and as script engines make it.
    for (WORD flags : {WORD(DISPATCH_PROPERTYGET), WORD(DISPATCH_METHOD | DISPATCH_PROPERTYGET)}) {
        SCOPED_TRACE(testing::Message() << "flags " << flags);
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        OwnedVariant result;
        const HRESULT hr =
            dispatch->Invoke(kDispIdName, IID_NULL, LOCALE_USER_DEFAULT, flags, &none, &result.value, nullptr, nullptr);
        ASSERT_EQ(hr, S_OK) << Hex(hr);
        ASSERT_EQ(V_VT(&result.value), VT_BSTR);
        EXPECT_EQ(std::wstring(V_BSTR(&result.value)), L"Starwright 1.0");
    }
}

TEST_F(PlugInModule, DispatchRefusals) {
    ComPtr<_PlugIn> plugIn = NewPlugIn();
    ASSERT_TRUE(plugIn);
    UINT count = 0;
    ASSERT_EQ(plugIn->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(plugIn->GetTypeInfoCount(nullptr), E_POINTER);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(plugIn->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, kPlugInIid));
    info->ReleaseTypeAttr(attr);
    EXPECT_EQ(plugIn->GetTypeInfo(1, LOCALE_USER_DEFAULT, &info), DISP_E_BADINDEX);
    EXPECT_EQ(plugIn->GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr), E_POINTER);

    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"Caption")};
    DISPID id = 0;
    EXPECT_EQ(plugIn->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);

    VARIANT text;
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(L"Other");
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put = {&text, &named, 1, 1};
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    const struct {
        const char* what;
        DISPID member;
        WORD flags;
        DISPPARAMS* params;
        GUID riid;
        HRESULT expected;
    } cases[] = {
        {"unknown member", 0x60030005, DISPATCH_METHOD, &none, IID_NULL, DISP_E_MEMBERNOTFOUND},
        {"Name is read-only", kDispIdName, DISPATCH_PROPERTYPUT, &put, IID_NULL, DISP_E_MEMBERNOTFOUND},
        {"interface other than IID_NULL", kDispIdName, DISPATCH_PROPERTYGET, &none, IID_IDispatch,
         DISP_E_UNKNOWNINTERFACE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OwnedVariant result;
        EXPECT_EQ(plugIn->Invoke(c.member, c.riid, LOCALE_USER_DEFAULT, c.flags, c.params, &result.value, nullptr,
                                 nullptr),
                  c.expected);
    }
    VariantClear(&text);
}

// A host document stand-in that counts its references. Called through IDispatch, DoModal's
// argument is converted to the host's document interface, so the stand-in answers to it.
class CountingDocument final : public IDispatch {
public:
    LONG references = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch && riid != kHostDocumentIid) return E_NOINTERFACE;
        *object = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};

// What the thread timer saw when it closed the window.
struct CloseWatch {
    CountingDocument* document = nullptr;
    LONG referencesWhileShown = -1;
    bool closed = false;
    // Set to try a DoModal from inside the showing one before closing it.
    _PlugIn* nested = nullptr;
    HRESULT nestedResult = S_OK;
    LONG nestedReferencesAfter = -1;
    // Set to drop the caller's last reference while the window shows, as a host might.
    _PlugIn* release = nullptr;
    CanUnloadNowFn canUnloadNow = nullptr;
    HRESULT canUnloadWhileShown = E_UNEXPECTED;
};
CloseWatch g_watch;

BOOL CALLBACK FindToolWindow(HWND window, LPARAM found) {
    wchar_t caption[32] = {};
    GetWindowTextW(window, caption, 32);
    if (std::wstring(caption) != L"Starwright" || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// Runs inside DoModal's modal loop; closes the window through its frame's close command.
VOID CALLBACK CloseToolWindow(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND window = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindToolWindow, reinterpret_cast<LPARAM>(&window));
    if (!window) return;
    KillTimer(nullptr, timer);
    g_watch.referencesWhileShown = g_watch.document ? g_watch.document->references : 0;
    if (g_watch.release) {
        g_watch.release->Release();
        g_watch.canUnloadWhileShown = g_watch.canUnloadNow();
    }
    if (g_watch.nested) {
        CountingDocument nestedDocument;
        g_watch.nestedResult = g_watch.nested->DoModal(&nestedDocument);
        g_watch.nestedReferencesAfter = nestedDocument.references;
    }
    g_watch.closed = true;
    PostMessageW(window, WM_CLOSE, 0, 0);
}

TEST_F(PlugInModule, DoModalReturnsAfterTheWindowClosesAndReleasesDoc) {
    ComPtr<_PlugIn> plugIn = NewPlugIn();
    ASSERT_TRUE(plugIn);
    // Name first: it must not depend on the window.
    OwnedBstr name;
    ASSERT_EQ(plugIn->get_Name(&name.text), S_OK);

    const struct {
        const char* what;
        bool withDocument;
        bool throughDispatch;
    } cases[] = {
        {"vtable, document", true, false},
        {"vtable, empty Doc", false, false},
        {"IDispatch, document (the window object is reused)", true, true},
        {"IDispatch, empty Doc", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CountingDocument document;
        g_watch = CloseWatch{c.withDocument ? &document : nullptr};
        IDispatch* doc = c.withDocument ? &document : nullptr;
        ASSERT_NE(SetTimer(nullptr, 0, 20, CloseToolWindow), 0u);
        HRESULT hr = E_UNEXPECTED;
        if (c.throughDispatch) {
            VARIANT argument;
            V_VT(&argument) = VT_DISPATCH;
            V_DISPATCH(&argument) = doc;
            DISPPARAMS params = {&argument, nullptr, 1, 0};
            hr = plugIn->Invoke(kDispIdDoModal, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                                nullptr, nullptr);
        } else {
            hr = plugIn->DoModal(doc);
        }
        EXPECT_EQ(hr, S_OK) << Hex(hr);
        EXPECT_TRUE(g_watch.closed) << "DoModal returned before the window was closed";
        if (c.withDocument) {
            EXPECT_GT(g_watch.referencesWhileShown, 1) << "Doc not held during the call";
            EXPECT_EQ(document.references, 1) << "Doc not released";
        }
    }
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    plugIn.Reset();
    EXPECT_EQ(canUnloadNow_(), S_OK);
}

// A second PlugIn of the same thread shares the window, which is already showing: the nested
// call fails instead of reloading the window under its own running loop, and still releases
// its Doc.
TEST_F(PlugInModule, DoModalInsideTheShowingWindowFailsAndReleasesDoc) {
    ComPtr<_PlugIn> plugIn = NewPlugIn();
    ASSERT_TRUE(plugIn);
    ComPtr<_PlugIn> second = NewPlugIn();
    ASSERT_TRUE(second);
    g_watch = CloseWatch{};
    g_watch.nested = second.Get();
    ASSERT_NE(SetTimer(nullptr, 0, 20, CloseToolWindow), 0u);
    EXPECT_EQ(plugIn->DoModal(nullptr), S_OK);
    ASSERT_TRUE(g_watch.closed);
    EXPECT_TRUE(FAILED(g_watch.nestedResult)) << Hex(g_watch.nestedResult);
    EXPECT_EQ(g_watch.nestedReferencesAfter, 1);
    g_watch = CloseWatch{};
}

// The host may drop its last reference and ask whether the module can unload from inside the
// modal loop; the module must stay loaded until DoModal has returned.
TEST_F(PlugInModule, ModuleStaysLoadedWhileDoModalRuns) {
    ComPtr<_PlugIn> plugIn = NewPlugIn();
    ASSERT_TRUE(plugIn);
    g_watch = CloseWatch{};
    g_watch.release = plugIn.Detach();
    g_watch.canUnloadNow = canUnloadNow_;
    ASSERT_NE(SetTimer(nullptr, 0, 20, CloseToolWindow), 0u);
    EXPECT_EQ(g_watch.release->DoModal(nullptr), S_OK);
    ASSERT_TRUE(g_watch.closed);
    EXPECT_EQ(g_watch.canUnloadWhileShown, S_FALSE);
    EXPECT_EQ(canUnloadNow_(), S_OK);
    g_watch = CloseWatch{};
}

}  // namespace
