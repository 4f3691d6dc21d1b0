// Starwright.dll's class factory, module lock and PlugIn object, loaded the way COM loads an
// in-process server: LoadLibrary and the exported DllGetClassObject / DllCanUnloadNow.

#include <windows.h>

#include <ole2.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// A host document stand-in that counts its references. Called through IDispatch, DoModal's
// argument is converted to the host's document interface, so the stand-in answers to it, unless
// made an object of some other kind.
class CountingDocument final : public IDispatch {
public:
    LONG references = 1;
    bool hostDocument = true;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch && (riid != kHostDocumentIid || !hostDocument))
            return E_NOINTERFACE;
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

    // Names after the first are the member's parameters; each unknown one is DISPID_UNKNOWN.
    const struct {
        const char* what;
        std::vector<const wchar_t*> names;
        HRESULT expected;
        std::vector<DISPID> ids;
    } lookups[] = {
        {"unknown member", {L"Caption"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
        {"any case, and DoModal's parameter", {L"domodal", L"DOC"}, S_OK, {kDispIdDoModal, 0}},
        {"a parameter DoModal lacks", {L"DoModal", L"Other"}, DISP_E_UNKNOWNNAME, {kDispIdDoModal, DISPID_UNKNOWN}},
        {"Name has no parameter", {L"Name", L"Doc"}, DISP_E_UNKNOWNNAME, {kDispIdName, DISPID_UNKNOWN}},
    };
    for (const auto& c : lookups) {
        SCOPED_TRACE(c.what);
        std::vector<LPOLESTR> names;
        for (const wchar_t* name : c.names) names.push_back(const_cast<LPOLESTR>(name));
        std::vector<DISPID> ids(names.size(), 7);
        EXPECT_EQ(plugIn->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), LOCALE_USER_DEFAULT,
                                        ids.data()),
                  c.expected);
        EXPECT_EQ(ids, c.ids);
    }
    LPOLESTR name[] = {const_cast<LPOLESTR>(L"Name")};
    DISPID id = 0;
    EXPECT_EQ(plugIn->GetIDsOfNames(IID_NULL, name, 1, LOCALE_USER_DEFAULT, nullptr), E_POINTER);
    EXPECT_EQ(plugIn->GetIDsOfNames(IID_NULL, nullptr, 1, LOCALE_USER_DEFAULT, &id), E_POINTER);
    EXPECT_EQ(plugIn->GetIDsOfNames(IID_IDispatch, name, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNINTERFACE);

    VARIANT text;
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(L"Other");
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put = {&text, &named, 1, 1};
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    DISPPARAMS namedWithoutArgument = {nullptr, &named, 0, 1};
    // DoModal's argument lists that no call can take; none opens the window.
    VARIANT number;
    V_VT(&number) = VT_I4;
    V_I4(&number) = 1;
    VARIANT left;  // how clients pass an argument they leave out
    V_VT(&left) = VT_ERROR;
    V_ERROR(&left) = DISP_E_PARAMNOTFOUND;
    VARIANT empty;
    V_VT(&empty) = VT_EMPTY;
    CountingDocument stranger;
    stranger.hostDocument = false;
    VARIANT noDocument;
    V_VT(&noDocument) = VT_DISPATCH;
    V_DISPATCH(&noDocument) = &stranger;
    VARIANT two[] = {noDocument, noDocument};
    DISPPARAMS twoArguments = {two, nullptr, 2, 0};
    DISPPARAMS aNumber = {&number, nullptr, 1, 0};
    DISPPARAMS leftOut = {&left, nullptr, 1, 0};
    DISPPARAMS emptyDoc = {&empty, nullptr, 1, 0};
    DISPPARAMS notADocument = {&noDocument, nullptr, 1, 0};
    DISPID otherParameter = 1;
    DISPPARAMS wrongName = {&noDocument, &otherParameter, 1, 1};
    constexpr UINT kUntouched = 99;
    const struct {
        const char* what;
        DISPID member;
        WORD flags;
        DISPPARAMS* params;
        GUID riid;
        HRESULT expected;
        UINT argumentError = kUntouched;
    } cases[] = {
        {"unknown member", 0x60030005, DISPATCH_METHOD, &none, IID_NULL, DISP_E_MEMBERNOTFOUND},
        {"Name is read-only", kDispIdName, DISPATCH_PROPERTYPUT, &put, IID_NULL, DISP_E_MEMBERNOTFOUND},
        {"Name by reference is read-only too", kDispIdName, DISPATCH_PROPERTYPUTREF, &put, IID_NULL,
         DISP_E_MEMBERNOTFOUND},
        {"interface other than IID_NULL", kDispIdName, DISPATCH_PROPERTYGET, &none, IID_IDispatch,
         DISP_E_UNKNOWNINTERFACE},
        {"Name called as a method only", kDispIdName, DISPATCH_METHOD, &none, IID_NULL, DISP_E_MEMBERNOTFOUND},
        {"Name with an index", kDispIdName, DISPATCH_PROPERTYGET, &aNumber, IID_NULL, DISP_E_NOTACOLLECTION},
        {"more names than arguments", kDispIdName, DISPATCH_PROPERTYGET, &namedWithoutArgument, IID_NULL,
         E_INVALIDARG},
        {"no argument list", kDispIdName, DISPATCH_PROPERTYGET, nullptr, IID_NULL, E_INVALIDARG},
        {"DoModal read as a property", kDispIdDoModal, DISPATCH_PROPERTYGET, &notADocument, IID_NULL,
         DISP_E_MEMBERNOTFOUND},
        {"DoModal without Doc", kDispIdDoModal, DISPATCH_METHOD, &none, IID_NULL, DISP_E_BADPARAMCOUNT},
        {"DoModal with two arguments", kDispIdDoModal, DISPATCH_METHOD, &twoArguments, IID_NULL,
         DISP_E_BADPARAMCOUNT},
        {"Doc left out", kDispIdDoModal, DISPATCH_METHOD, &leftOut, IID_NULL, DISP_E_PARAMNOTOPTIONAL, 0},
        {"Doc a number", kDispIdDoModal, DISPATCH_METHOD, &aNumber, IID_NULL, DISP_E_TYPEMISMATCH, 0},
        {"Doc Empty", kDispIdDoModal, DISPATCH_METHOD, &emptyDoc, IID_NULL, DISP_E_TYPEMISMATCH, 0},
        {"Doc not the host's document", kDispIdDoModal, DISPATCH_METHOD, &notADocument, IID_NULL,
         DISP_E_TYPEMISMATCH, 0},
        {"an argument named other than Doc", kDispIdDoModal, DISPATCH_METHOD, &wrongName, IID_NULL,
         DISP_E_PARAMNOTFOUND, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OwnedVariant result;
        UINT argumentError = kUntouched;
        // Should a refused DoModal open the window after all, this closes it again.
        g_watch = CloseWatch{};
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, CloseToolWindow);
        EXPECT_EQ(plugIn->Invoke(c.member, c.riid, LOCALE_USER_DEFAULT, c.flags, c.params, &result.value, nullptr,
                                 &argumentError),
                  c.expected);
        KillTimer(nullptr, timer);
        EXPECT_FALSE(g_watch.closed) << "the window opened";
        EXPECT_EQ(argumentError, c.argumentError);
        EXPECT_EQ(stranger.references, 1) << "a reference kept";
    }
    VariantClear(&text);
}

// The host's type library as this process sees it when the host was moved or repaired, or another
// version registered it: its registration names a file that is not there. Only this process
// sees it: HKEY_CLASSES_ROOT is redirected, for the object's lifetime, to a volatile key of the
// test's own under a name of its own, which goes again however the test ends.
class HostLibraryElsewhere {
public:
    explicit HostLibraryElsewhere(const std::wstring& missingFile)
        : name_(L"Software\\Starwright test classes " + std::to_wstring(GetCurrentProcessId())) {
        wchar_t libId[40] = {};
        StringFromGUID2(kHostLibId, libId, 40);
        HKEY file = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, name_.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &root_, nullptr) != ERROR_SUCCESS)
            return;
        // Registered for this bitness ("win32" or "win64"), as the host's setup registers it.
        const std::wstring path = std::wstring(L"TypeLib\\") + libId + L"\\1.0\\0\\" + kLibSysKindText;
        if (RegCreateKeyExW(root_, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &file,
                            nullptr) != ERROR_SUCCESS)
            return;
        const auto bytes = static_cast<DWORD>((missingFile.size() + 1) * sizeof(wchar_t));
        const auto* data = reinterpret_cast<const BYTE*>(missingFile.c_str());
        const bool written = RegSetValueExW(file, nullptr, 0, REG_SZ, data, bytes) == ERROR_SUCCESS;
        RegCloseKey(file);
        redirected_ = written && RegOverridePredefKey(HKEY_CLASSES_ROOT, root_) == ERROR_SUCCESS;
    }
    ~HostLibraryElsewhere() {
        if (redirected_) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        if (!root_) return;
        RegCloseKey(root_);
        RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, name_.c_str());
    }
    HostLibraryElsewhere(const HostLibraryElsewhere&) = delete;
    HostLibraryElsewhere& operator=(const HostLibraryElsewhere&) = delete;
    bool Redirected() const { return redirected_; }

private:
    std::wstring name_;
    HKEY root_ = nullptr;
    bool redirected_ = false;
};

// The test programs find the host's library through their manifest, an activation context that
// oleaut32 asks before the registry. This one, activated over the program's on this thread for
// the object's lifetime, names in its place a file that is no type library, in a folder of the
// test's own.
class HostLibraryContextElsewhere {
public:
    HostLibraryContextElsewhere() {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"starwright-moved-host-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        wchar_t libId[40] = {};
        StringFromGUID2(kHostLibId, libId, 40);
        const std::string manifest =
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
            "  <assemblyIdentity type=\"win32\" name=\"Starwright.Tests.MovedHost\" version=\"1.0.0.0\"/>\n"
            "  <file name=\"MaxIm_DL.exe\">\n"
            "    <typelib tlbid=\"" + std::string(libId, libId + wcslen(libId)) + "\" version=\"1.0\" helpdir=\"\"/>\n"
            "  </file>\n"
            "</assembly>\n";
        if (!Write(L"MaxIm_DL.exe", "not a type library") || !Write(L"host.manifest", manifest)) return;
        const std::wstring source = folder_ + L"\\host.manifest";
        ACTCTXW description{};
        description.cbSize = sizeof description;
        description.lpSource = source.c_str();
        context_ = CreateActCtxW(&description);
        active_ = context_ != INVALID_HANDLE_VALUE && ActivateActCtx(context_, &cookie_);
    }
    ~HostLibraryContextElsewhere() {
        if (active_) DeactivateActCtx(0, cookie_);
        if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
        for (const wchar_t* file : {L"MaxIm_DL.exe", L"host.manifest"}) DeleteFileW((folder_ + L"\\" + file).c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    HostLibraryContextElsewhere(const HostLibraryContextElsewhere&) = delete;
    HostLibraryContextElsewhere& operator=(const HostLibraryContextElsewhere&) = delete;
    bool Active() const { return active_; }

private:
    bool Write(const wchar_t* name, const std::string& text) const {
        const HANDLE file = CreateFileW((folder_ + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        const bool whole = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                           written == text.size();
        CloseHandle(file);
        return whole;
    }

    std::wstring folder_;
    HANDLE context_ = INVALID_HANDLE_VALUE;
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
};

// DoModal's Doc is typed by the host's library, but the plug-in uses it for nothing: the window
// opens, and Name answers, whether or not that library loads. Once a type library in the process
// has loaded the host's, oleaut32 reuses it; this test comes before the ones that pass Doc
// through IDispatch, so that it fails whenever the plug-in's dispatch needs the host's library.
TEST_F(PlugInModule, WindowOpensWhenTheHostLibraryDoesNotLoad) {
    HostLibraryContextElsewhere context;
    ASSERT_TRUE(context.Active());
    HostLibraryElsewhere redirect(BesideTest(L"moved\\MaxIm_DL.exe"));
    ASSERT_TRUE(redirect.Redirected());
    ITypeLib* host = nullptr;
    const HRESULT loaded = LoadRegTypeLib(kHostLibId, 1, 0, 0, &host);
    if (host) host->Release();
    ASSERT_TRUE(FAILED(loaded)) << "the host library still loads";
    ComPtr<_PlugIn> plugIn = NewPlugIn();
    ASSERT_TRUE(plugIn);

    enum class Call { Vtable, DispatchById, DispatchByName };
    const struct {
        const char* what;
        Call call;
    } cases[] = {
        {"vtable", Call::Vtable},
        {"IDispatch by DISPID", Call::DispatchById},
        {"IDispatch by name, as script hosts call", Call::DispatchByName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CountingDocument document;
        g_watch = CloseWatch{&document};
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, CloseToolWindow);
        ASSERT_NE(timer, 0u);
        HRESULT hr = E_UNEXPECTED;
        if (c.call == Call::Vtable) {
            hr = plugIn->DoModal(&document);
        } else {
            DISPID id = kDispIdDoModal;
            if (c.call == Call::DispatchByName) {
                LPOLESTR names[] = {const_cast<LPOLESTR>(L"DoModal")};
                ASSERT_EQ(plugIn->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
            }
            VARIANT argument;
            V_VT(&argument) = VT_DISPATCH;
            V_DISPATCH(&argument) = &document;
            DISPPARAMS params = {&argument, nullptr, 1, 0};
            hr = plugIn->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        }
        KillTimer(nullptr, timer);
        EXPECT_EQ(hr, S_OK) << Hex(hr);
        EXPECT_TRUE(g_watch.closed) << "the window did not open";
        EXPECT_EQ(document.references, 1) << "Doc not released";
    }
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Name")};
    DISPID id = 0;
    ASSERT_EQ(plugIn->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    OwnedVariant name;
    ASSERT_EQ(plugIn->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none,
                             &name.value, nullptr, nullptr),
              S_OK);
    ASSERT_EQ(V_VT(&name.value), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(&name.value)), L"Starwright 1.0");
    g_watch = CloseWatch{};
}

TEST_F(PlugInModule, DoModalReturnsAfterTheWindowClosesAndReleasesDoc) {
    ComPtr<_PlugIn> plugIn = NewPlugIn();
    ASSERT_TRUE(plugIn);
    // Name first: it must not depend on the window.
    OwnedBstr name;
    ASSERT_EQ(plugIn->get_Name(&name.text), S_OK);

    // How Doc travels through IDispatch: the variant type of the argument (none: the vtable),
    // named or by position.
    constexpr VARTYPE kVtable = VT_EMPTY;
    const struct {
        const char* what;
        bool withDocument;
        VARTYPE argument;
        bool named = false;
        WORD flags = DISPATCH_METHOD;
    } cases[] = {
        {"vtable, document", true, kVtable},
        {"vtable, empty Doc", false, kVtable},
        {"IDispatch, document (the window object is reused)", true, VT_DISPATCH},
        {"IDispatch, empty Doc", false, VT_DISPATCH},
        {"IDispatch, document as IUnknown", true, VT_UNKNOWN},
        {"IDispatch, empty Doc as IUnknown", false, VT_UNKNOWN},
        {"IDispatch, document by reference, named Doc", true, VT_BYREF | VT_DISPATCH, true},
        {"IDispatch, document in a variant by reference, as script engines call", true, VT_BYREF | VT_VARIANT,
         false, DISPATCH_METHOD | DISPATCH_PROPERTYGET},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CountingDocument document;
        g_watch = CloseWatch{c.withDocument ? &document : nullptr};
        IDispatch* doc = c.withDocument ? &document : nullptr;
        ASSERT_NE(SetTimer(nullptr, 0, 20, CloseToolWindow), 0u);
        HRESULT hr = E_UNEXPECTED;
        if (c.argument != kVtable) {
            VARIANT inner;
            V_VT(&inner) = VT_DISPATCH;
            V_DISPATCH(&inner) = doc;
            VARIANT argument = inner;
            V_VT(&argument) = c.argument;
            if (c.argument == (VT_BYREF | VT_DISPATCH)) V_DISPATCHREF(&argument) = &doc;
            if (c.argument == (VT_BYREF | VT_VARIANT)) V_VARIANTREF(&argument) = &inner;
            DISPID docId = 0;
            DISPPARAMS params = {&argument, c.named ? &docId : nullptr, 1, c.named ? 1u : 0u};
            OwnedVariant result;
            hr = plugIn->Invoke(kDispIdDoModal, IID_NULL, LOCALE_USER_DEFAULT, c.flags, &params, &result.value,
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
