// Build-time writer of two type libraries, run under Wine:
//   typelib_writer host OUT      the stand-in host library "MaxIm" (test and build data of our
//                                own: one empty dispinterface, nothing of the real host's)
//   typelib_writer plugin OUT HOST  the plug-in's library "Starwright"
// The plug-in library is written with the system's own type library writer because DoModal's
// parameter must be a true import reference into the host library; IDL compilers either
// refuse the reference or embed a copy of the host's interface. The reference records the
// file name under which the host library was loaded, so HOST must be named "MaxIm_DL.exe".

#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "plugin/identifiers.h"

using Microsoft::WRL::ComPtr;
using namespace starwright::plugin;

namespace {

struct WriteError {
    const char* step;
    HRESULT hr;
};

void Check(HRESULT hr, const char* step) {
    if (FAILED(hr)) throw WriteError{step, hr};
}

ComPtr<ITypeInfo> IDispatchTypeInfo() {
    ComPtr<ITypeLib> stdole;
    Check(LoadTypeLib(L"stdole2.tlb", &stdole), "load stdole2.tlb");
    ComPtr<ITypeInfo> dispatch;
    Check(stdole->GetTypeInfoOfGuid(IID_IDispatch, &dispatch), "find IDispatch");
    return dispatch;
}

ComPtr<ICreateTypeLib2> NewLibrary(const wchar_t* file, const wchar_t* name, const GUID& id, WORD major,
                                   WORD minor) {
    ComPtr<ICreateTypeLib2> library;
    Check(CreateTypeLib2(kLibSysKind, file, &library), "create library");
    Check(library->SetName(const_cast<LPOLESTR>(name)), "library name");
    Check(library->SetGuid(id), "library guid");
    Check(library->SetVersion(major, minor), "library version");
    Check(library->SetLcid(0), "library locale");
    return library;
}

void WriteHostStub(const wchar_t* file) {
    auto library = NewLibrary(file, kHostLibName, kHostLibId, kHostLibMajor, kHostLibMinor);
    ComPtr<ICreateTypeInfo> document;
    Check(library->CreateTypeInfo(const_cast<LPOLESTR>(L"Document"), TKIND_DISPATCH, &document), "Document");
    Check(document->SetGuid(kHostDocumentIid), "Document guid");
    Check(document->SetVersion(1, 0), "Document version");
    HREFTYPE base = 0;
    Check(document->AddRefTypeInfo(IDispatchTypeInfo().Get(), &base), "Document base reference");
    Check(document->AddImplType(0, base), "Document base");
    Check(document->LayOut(), "Document layout");
    Check(library->SaveAllChanges(), "save host library");
}

ComPtr<ITypeInfo> HostDocumentTypeInfo(const wchar_t* hostFile) {
    ComPtr<ITypeLib> host;
    Check(LoadTypeLibEx(hostFile, REGKIND_NONE, &host), "load host library");
    ComPtr<ITypeInfo> document;
    Check(host->GetTypeInfoOfGuid(kHostDocumentIid, &document), "find host document interface");
    return document;
}

void WritePlugIn(const wchar_t* file, const wchar_t* hostFile) {
    auto library = NewLibrary(file, kLibName, kLibId, kLibMajor, kLibMinor);

    ComPtr<ICreateTypeInfo> plugIn;
    Check(library->CreateTypeInfo(const_cast<LPOLESTR>(L"_PlugIn"), TKIND_INTERFACE, &plugIn), "_PlugIn");
    Check(plugIn->SetGuid(kPlugInIid), "_PlugIn guid");
    Check(plugIn->SetVersion(1, 0), "_PlugIn version");
    Check(plugIn->SetTypeFlags(TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                               TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE),
          "_PlugIn flags");
    HREFTYPE dispatch = 0;
    Check(plugIn->AddRefTypeInfo(IDispatchTypeInfo().Get(), &dispatch), "_PlugIn base reference");
    Check(plugIn->AddImplType(0, dispatch), "_PlugIn base");
    HREFTYPE document = 0;
    Check(plugIn->AddRefTypeInfo(HostDocumentTypeInfo(hostFile).Get(), &document), "host document reference");

    // DoModal(Doc): the 8th slot, byte offset 28 on a 32-bit vtable and 56 on a 64-bit one.
    TYPEDESC documentType{};
    documentType.vt = VT_USERDEFINED;
    documentType.hreftype = document;
    ELEMDESC doc{};
    doc.tdesc.vt = VT_PTR;
    doc.tdesc.lptdesc = &documentType;
    doc.paramdesc.wParamFlags = PARAMFLAG_FIN;
    FUNCDESC doModal{};
    doModal.memid = kDispIdDoModal;
    doModal.funckind = FUNC_PUREVIRTUAL;
    doModal.invkind = INVOKE_FUNC;
    doModal.callconv = CC_STDCALL;
    doModal.cParams = 1;
    doModal.lprgelemdescParam = &doc;
    doModal.oVft = 7 * sizeof(void*);
    doModal.elemdescFunc.tdesc.vt = VT_HRESULT;
    Check(plugIn->AddFuncDesc(0, &doModal), "DoModal");
    LPOLESTR doModalNames[] = {const_cast<LPOLESTR>(L"DoModal"), const_cast<LPOLESTR>(L"Doc")};
    Check(plugIn->SetFuncAndParamNames(0, doModalNames, 2), "DoModal names");

    // Name (property get): the 9th slot; the String comes back through the retval pointer.
    TYPEDESC bstr{};
    bstr.vt = VT_BSTR;
    ELEMDESC result{};
    result.tdesc.vt = VT_PTR;
    result.tdesc.lptdesc = &bstr;
    result.paramdesc.wParamFlags = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
    FUNCDESC name{};
    name.memid = kDispIdName;
    name.funckind = FUNC_PUREVIRTUAL;
    name.invkind = INVOKE_PROPERTYGET;
    name.callconv = CC_STDCALL;
    name.cParams = 1;
    name.lprgelemdescParam = &result;
    name.oVft = 8 * sizeof(void*);
    name.elemdescFunc.tdesc.vt = VT_HRESULT;
    Check(plugIn->AddFuncDesc(1, &name), "Name");
    LPOLESTR nameNames[] = {const_cast<LPOLESTR>(L"Name")};
    Check(plugIn->SetFuncAndParamNames(1, nameNames, 1), "Name names");
    Check(plugIn->LayOut(), "_PlugIn layout");

    ComPtr<ICreateTypeInfo> coclass;
    Check(library->CreateTypeInfo(const_cast<LPOLESTR>(L"PlugIn"), TKIND_COCLASS, &coclass), "PlugIn");
    Check(coclass->SetGuid(kPlugInClsid), "PlugIn guid");
    Check(coclass->SetVersion(1, 0), "PlugIn version");
    Check(coclass->SetTypeFlags(TYPEFLAG_FCANCREATE), "PlugIn flags");
    ComPtr<ITypeInfo> plugInInfo;
    Check(plugIn.As(&plugInInfo), "_PlugIn type info");
    HREFTYPE defaultInterface = 0;
    Check(coclass->AddRefTypeInfo(plugInInfo.Get(), &defaultInterface), "PlugIn interface reference");
    Check(coclass->AddImplType(0, defaultInterface), "PlugIn interface");
    Check(coclass->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT), "PlugIn default interface");
    Check(coclass->LayOut(), "PlugIn layout");
    // Laying out marks a class whose interface is dispatchable as dispatchable itself; the
    // class is only creatable.
    Check(coclass->SetTypeFlags(TYPEFLAG_FCANCREATE), "PlugIn flags after layout");

    Check(library->SaveAllChanges(), "save plug-in library");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        if (argc == 3 && std::wcscmp(argv[1], L"host") == 0) {
            WriteHostStub(argv[2]);
        } else if (argc == 4 && std::wcscmp(argv[1], L"plugin") == 0) {
            WritePlugIn(argv[2], argv[3]);
        } else {
            std::fputs("usage: typelib_writer host OUT | plugin OUT MaxIm_DL.exe\n", stderr);
            return 2;
        }
        return 0;
    } catch (const WriteError& e) {
        std::fprintf(stderr, "typelib_writer: %s failed, HRESULT 0x%08lX\n", e.step, static_cast<unsigned long>(e.hr));
    } catch (...) {
        std::fputs("typelib_writer: unexpected failure\n", stderr);
    }
    return 1;
}
