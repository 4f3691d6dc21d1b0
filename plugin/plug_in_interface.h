#pragma once
// The vtable of the dual interface _PlugIn, in the order the type library gives it: the seven
// IUnknown/IDispatch slots, then DoModal (8th) and the Name property get (9th).

#include <windows.h>

#include <oaidl.h>

struct _PlugIn : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE DoModal(IDispatch* Doc) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* Name) = 0;
};

__CRT_UUID_DECL(_PlugIn, 0x4154BE72, 0x7E3F, 0x4812, 0x91, 0x52, 0xC8, 0x73, 0xA3, 0x6A, 0x32, 0x9A)
