// The type library embedded in Starwright.dll, read back the way the host and automation
// clients read it: library attributes, the dual interface _PlugIn with both of its halves,
// the class PlugIn, and the import reference of DoModal's parameter into the host library.
// Also the module's version resource.

#include <windows.h>

#include <ole2.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "plugin/identifiers.h"
#include "starwright_version.h"
#include "tests/wine/plugin_test_support.h"
#include "tests/wine/windows_only.h"

using Microsoft::WRL::ComPtr;
using namespace starwright::plugin;
using starwright::test::BesideTest;
using starwright::test::Hex;
using starwright::test::OwnedBstr;

namespace {

class TypeAttr {
public:
    explicit TypeAttr(ITypeInfo* info) : info_(info) {
        const HRESULT hr = info_->GetTypeAttr(&attr_);
        if (FAILED(hr)) ADD_FAILURE() << "GetTypeAttr " << Hex(hr);
    }
    ~TypeAttr() {
        if (attr_) info_->ReleaseTypeAttr(attr_);
    }
    TypeAttr(const TypeAttr&) = delete;
    TypeAttr& operator=(const TypeAttr&) = delete;
    const TYPEATTR* operator->() const { return attr_; }
    explicit operator bool() const { return attr_ != nullptr; }

private:
    ComPtr<ITypeInfo> info_;
    TYPEATTR* attr_ = nullptr;
};

class FuncDesc {
public:
    FuncDesc(ITypeInfo* info, UINT index) : info_(info) {
        const HRESULT hr = info_->GetFuncDesc(index, &desc_);
        if (FAILED(hr)) ADD_FAILURE() << "GetFuncDesc " << index << " " << Hex(hr);
    }
    ~FuncDesc() {
        if (desc_) info_->ReleaseFuncDesc(desc_);
    }
    FuncDesc(const FuncDesc&) = delete;
    FuncDesc& operator=(const FuncDesc&) = delete;
    const FUNCDESC* operator->() const { return desc_; }
    explicit operator bool() const { return desc_ != nullptr; }

private:
    ComPtr<ITypeInfo> info_;
    FUNCDESC* desc_ = nullptr;
};

std::wstring Name(ITypeInfo* info, MEMBERID member = MEMBERID_NIL) {
    OwnedBstr name;
    info->GetDocumentation(member, &name.text, nullptr, nullptr, nullptr);
    return name.Text();
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

class PlugInTypeLib : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const HRESULT registered = starwright::test::HostLibraryFound();
        ASSERT_EQ(registered, S_OK) << Hex(registered);
        const HRESULT loaded = LoadTypeLibEx(BesideTest(L"Starwright.dll").c_str(), REGKIND_NONE, &library_);
        ASSERT_EQ(loaded, S_OK) << Hex(loaded);
    }
    static void TearDownTestSuite() { library_.Reset(); }

    void SetUp() override { ASSERT_TRUE(library_); }

    // _PlugIn as clients find it by IID (its dispatch half), and its vtable half.
    ComPtr<ITypeInfo> DispatchHalf() {
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(library_->GetTypeInfoOfGuid(kPlugInIid, &info), S_OK);
        return info;
    }
    ComPtr<ITypeInfo> VtableHalf() {
        ComPtr<ITypeInfo> dispatch = DispatchHalf();
        HREFTYPE ref = 0;
        ComPtr<ITypeInfo> info;
        if (!dispatch) return info;
        EXPECT_EQ(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
        EXPECT_EQ(dispatch->GetRefTypeInfo(ref, &info), S_OK);
        return info;
    }

    static ComPtr<ITypeLib> library_;
};

ComPtr<ITypeLib> PlugInTypeLib::library_;

TEST_F(PlugInTypeLib, LibraryAttributes) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library_->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(GuidText(attr->guid), kLibIdText);
    EXPECT_EQ(attr->wMajorVerNum, 46);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->lcid, 0u);
    // Written for the vtables of the module it is embedded in.
    EXPECT_EQ(attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    library_->ReleaseTLibAttr(attr);

    OwnedBstr name, doc, helpFile;
    DWORD helpContext = 0;
    ASSERT_EQ(library_->GetDocumentation(-1, &name.text, &doc.text, &helpContext, &helpFile.text), S_OK);
    EXPECT_EQ(name.Text(), L"Starwright");
    EXPECT_EQ(doc.Text(), L"");
    EXPECT_EQ(helpFile.Text(), L"");
    EXPECT_EQ(helpContext, 0u);
    EXPECT_EQ(library_->GetTypeInfoCount(), 2u);
}

TEST_F(PlugInTypeLib, TypesWithTheirIdentifiersFlagsAndVersions) {
    // The dispatch half of a dual interface reports its flags without FOLEAUTOMATION; the
    // vtable half carries it (checked below).
    const WORD plugInFlags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
    struct Expected {
        const wchar_t* name;
        GUID guid;
        TYPEKIND kind;
        WORD flags;
        WORD vtableSize;
        WORD functions;
    } const cases[] = {
        {L"_PlugIn", kPlugInIid, TKIND_DISPATCH, plugInFlags, 7 * sizeof(void*), 9},
        {L"PlugIn", kPlugInClsid, TKIND_COCLASS, TYPEFLAG_FCANCREATE, 0, 0},
    };
    for (UINT index = 0; index < 2; ++index) {
        const Expected& expected = cases[index];
        SCOPED_TRACE(testing::Message() << "type " << index);
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(library_->GetTypeInfo(index, &info), S_OK);
        EXPECT_EQ(Name(info.Get()), expected.name);
        TypeAttr attr(info.Get());
        ASSERT_TRUE(attr);
        EXPECT_EQ(GuidText(attr->guid), GuidText(expected.guid));
        EXPECT_EQ(attr->typekind, expected.kind);
        EXPECT_EQ(attr->wTypeFlags, expected.flags);
        EXPECT_EQ(attr->wMajorVerNum, 1);
        EXPECT_EQ(attr->wMinorVerNum, 0);
        EXPECT_EQ(attr->lcid, 0u);
        EXPECT_EQ(attr->cImplTypes, 1);
        EXPECT_EQ(attr->cVars, 0);
        if (expected.kind == TKIND_DISPATCH) {
            EXPECT_EQ(attr->cbSizeVft, expected.vtableSize);
            // IUnknown's three, IDispatch's four, DoModal and Name.
            EXPECT_EQ(attr->cFuncs, expected.functions);
        }
    }
}

TEST_F(PlugInTypeLib, PlugInInterfaceDerivesFromIDispatchOfStdole) {
    ComPtr<ITypeInfo> vtable = VtableHalf();
    ASSERT_TRUE(vtable);
    TypeAttr attr(vtable.Get());
    ASSERT_TRUE(attr);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    EXPECT_EQ(GuidText(attr->guid), kPlugInIidText);
    EXPECT_EQ(attr->cFuncs, 2);
    EXPECT_EQ(attr->cbSizeVft, 9 * sizeof(void*));
    EXPECT_EQ(attr->cImplTypes, 1);
    EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                                    TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE);

    HREFTYPE baseRef = 0;
    ASSERT_EQ(vtable->GetRefTypeOfImplType(0, &baseRef), S_OK);
    ComPtr<ITypeInfo> base;
    ASSERT_EQ(vtable->GetRefTypeInfo(baseRef, &base), S_OK);
    TypeAttr baseAttr(base.Get());
    ASSERT_TRUE(baseAttr);
    EXPECT_EQ(GuidText(baseAttr->guid), GuidText(IID_IDispatch));
    ComPtr<ITypeLib> container;
    UINT index = 0;
    ASSERT_EQ(base->GetContainingTypeLib(&container, &index), S_OK);
    TLIBATTR* libAttr = nullptr;
    ASSERT_EQ(container->GetLibAttr(&libAttr), S_OK);
    EXPECT_EQ(GuidText(libAttr->guid), L"{00020430-0000-0000-C000-000000000046}");
    EXPECT_EQ(libAttr->wMajorVerNum, 2);
    container->ReleaseTLibAttr(libAttr);
}

TEST_F(PlugInTypeLib, MembersInVtableOrder) {
    struct Expected {
        const wchar_t* name;
        MEMBERID memid;
        INVOKEKIND invkind;
        SHORT vtableOffset;
        VARTYPE pointee;  // the parameter is a pointer to this
        USHORT paramFlags;
        const wchar_t* paramName;
    } const cases[] = {
        // The 8th and 9th slots: byte offsets 28 and 32 on a 32-bit vtable, 56 and 64 on a 64-bit one.
        {L"DoModal", kDispIdDoModal, INVOKE_FUNC, 7 * sizeof(void*), VT_USERDEFINED, PARAMFLAG_FIN, L"Doc"},
        {L"Name", kDispIdName, INVOKE_PROPERTYGET, 8 * sizeof(void*), VT_BSTR, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL, nullptr},
    };
    ComPtr<ITypeInfo> vtable = VtableHalf();
    ASSERT_TRUE(vtable);
    for (UINT index = 0; index < 2; ++index) {
        const Expected& expected = cases[index];
        SCOPED_TRACE(testing::Message() << "member " << index);
        FuncDesc func(vtable.Get(), index);
        ASSERT_TRUE(func);
        EXPECT_EQ(Name(vtable.Get(), func->memid), expected.name);
        EXPECT_EQ(func->memid, expected.memid);
        EXPECT_EQ(func->invkind, expected.invkind);
        EXPECT_EQ(func->funckind, FUNC_PUREVIRTUAL);
        EXPECT_EQ(func->callconv, CC_STDCALL);
        EXPECT_EQ(func->oVft, expected.vtableOffset);
        EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_HRESULT);
        EXPECT_EQ(func->cParamsOpt, 0);
        ASSERT_EQ(func->cParams, 1);
        const ELEMDESC& param = func->lprgelemdescParam[0];
        EXPECT_EQ(param.paramdesc.wParamFlags, expected.paramFlags);
        ASSERT_EQ(param.tdesc.vt, VT_PTR);
        EXPECT_EQ(param.tdesc.lptdesc->vt, expected.pointee);

        BSTR names[3] = {};
        UINT count = 0;
        ASSERT_EQ(vtable->GetNames(func->memid, names, 3, &count), S_OK);
        EXPECT_EQ(std::wstring(names[0]), expected.name);
        if (expected.paramName) {
            ASSERT_EQ(count, 2u);
            EXPECT_EQ(std::wstring(names[1]), expected.paramName);
        }
        for (UINT i = 0; i < count; ++i) SysFreeString(names[i]);
    }
}

TEST_F(PlugInTypeLib, DispatchViewReturnsNameAsString) {
    ComPtr<ITypeInfo> dispatch = DispatchHalf();
    ASSERT_TRUE(dispatch);
    TypeAttr attr(dispatch.Get());
    ASSERT_TRUE(attr);
    bool found = false;
    for (UINT index = 0; index < attr->cFuncs; ++index) {
        FuncDesc func(dispatch.Get(), index);
        ASSERT_TRUE(func);
        if (func->memid != kDispIdName) continue;
        found = true;
        EXPECT_EQ(func->invkind, INVOKE_PROPERTYGET);
        EXPECT_EQ(func->funckind, FUNC_DISPATCH);
        EXPECT_EQ(func->cParams, 0);
        EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_BSTR);
    }
    EXPECT_TRUE(found);
}

TEST_F(PlugInTypeLib, DocIsAReferenceIntoTheHostLibrary) {
    ComPtr<ITypeInfo> vtable = VtableHalf();
    ASSERT_TRUE(vtable);
    FuncDesc doModal(vtable.Get(), 0);
    ASSERT_TRUE(doModal);
    ASSERT_EQ(doModal->cParams, 1);
    const TYPEDESC* pointee = doModal->lprgelemdescParam[0].tdesc.lptdesc;
    ASSERT_EQ(pointee->vt, VT_USERDEFINED);

    ComPtr<ITypeInfo> document;
    ASSERT_EQ(vtable->GetRefTypeInfo(pointee->hreftype, &document), S_OK);
    TypeAttr attr(document.Get());
    ASSERT_TRUE(attr);
    EXPECT_EQ(GuidText(attr->guid), L"{B4955EC8-F7F2-11D2-AA9C-444553540000}");
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);

    ComPtr<ITypeLib> container;
    UINT index = 0;
    ASSERT_EQ(document->GetContainingTypeLib(&container, &index), S_OK);
    TLIBATTR* libAttr = nullptr;
    ASSERT_EQ(container->GetLibAttr(&libAttr), S_OK);
    EXPECT_EQ(GuidText(libAttr->guid), L"{B4955EC7-F7F2-11D2-AA9C-444553540000}");
    EXPECT_EQ(libAttr->wMajorVerNum, 1);
    EXPECT_EQ(libAttr->wMinorVerNum, 0);
    EXPECT_EQ(libAttr->lcid, 0u);
    container->ReleaseTLibAttr(libAttr);
    OwnedBstr name;
    ASSERT_EQ(container->GetDocumentation(-1, &name.text, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(name.Text(), L"MaxIm");
}

// The library's bytes name the two imported files and carry no copy of the host's interface.
TEST_F(PlugInTypeLib, ImportsNameTheirFilesAndCopyNothingOfTheHost) {
    HMODULE module = LoadLibraryExW(BesideTest(L"Starwright.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), L"TYPELIB");
    ASSERT_NE(resource, nullptr);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, resource)));
    std::string image(bytes, SizeofResource(module, resource));
    FreeLibrary(module);
    // File names compare without regard to case.
    std::transform(image.begin(), image.end(), image.begin(), [](char c) { return static_cast<char>(tolower(c)); });
    EXPECT_NE(image.find("maxim_dl.exe"), std::string::npos);
    EXPECT_NE(image.find("stdole2.tlb"), std::string::npos);
    EXPECT_EQ(image.find("document"), std::string::npos);
}

TEST(PlugInVersionResource, EntriesAndNumbers) {
    const std::wstring path = BesideTest(L"Starwright.dll");
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const DWORD versionMS = (STARWRIGHT_VERSION_MAJOR << 16) | STARWRIGHT_VERSION_MINOR;
    EXPECT_EQ(fixed->dwFileVersionMS, versionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, versionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    const struct {
        const wchar_t* key;
        const wchar_t* value;
    } entries[] = {
        {L"FileVersion", L"" STARWRIGHT_VERSION}, {L"ProductVersion", L"" STARWRIGHT_VERSION},
        {L"ProductName", L"Starwright"},   {L"InternalName", L"Starwright"},
        {L"OriginalFilename", L"Starwright.dll"}, {L"OLESelfRegister", L""},
    };
    for (const auto& entry : entries) {
        SCOPED_TRACE(testing::Message() << "entry " << std::string(entry.key, entry.key + wcslen(entry.key)));
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + entry.key;
        wchar_t* value = nullptr;
        length = 0;
        ASSERT_TRUE(VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length));
        EXPECT_EQ(std::wstring(value ? value : L""), entry.value);
    }
}

}  // namespace
