#pragma once
// The module's fixed identity: the identifiers the host and the registry bind to, and the
// host library that the type of DoModal's parameter comes from. Shared by the DLL and by the
// build-time type library writer, so both always agree.

#include <windows.h>

#include <ole2.h>

namespace starwright::plugin {

// Type library "Starwright" 46.0, locale neutral.
inline constexpr GUID kLibId = {0xAA2BC137, 0x3E93, 0x4844, {0xA8, 0xEA, 0xF8, 0x49, 0x75, 0xA8, 0xBD, 0x6D}};
inline constexpr wchar_t kLibIdText[] = L"{AA2BC137-3E93-4844-A8EA-F84975A8BD6D}";
inline constexpr wchar_t kLibName[] = L"Starwright";
inline constexpr WORD kLibMajor = 46;
inline constexpr WORD kLibMinor = 0;
inline constexpr LCID kLibLcid = 0;
// The library describes this module's own vtables, so it is written for, and registered under
// ("win32" or "win64"), the bitness the module is built for.
#ifdef _WIN64
inline constexpr SYSKIND kLibSysKind = SYS_WIN64;
inline constexpr wchar_t kLibSysKindText[] = L"win64";
#else
inline constexpr SYSKIND kLibSysKind = SYS_WIN32;
inline constexpr wchar_t kLibSysKindText[] = L"win32";
#endif

// Interface _PlugIn 1.0, the class's default (dual) interface.
inline constexpr GUID kPlugInIid = {0x4154BE72, 0x7E3F, 0x4812, {0x91, 0x52, 0xC8, 0x73, 0xA3, 0x6A, 0x32, 0x9A}};
inline constexpr wchar_t kPlugInIidText[] = L"{4154BE72-7E3F-4812-9152-C873A36A329A}";

// Class PlugIn 1.0.
inline constexpr GUID kPlugInClsid = {0x10BA7108, 0xF8C0, 0x468C, {0x80, 0x79, 0x6C, 0x3E, 0x75, 0x09, 0xCB, 0x33}};
inline constexpr wchar_t kPlugInClsidText[] = L"{10BA7108-F8C0-468C-8079-6C3E7509CB33}";
inline constexpr wchar_t kProgId[] = L"Starwright.PlugIn";

// Member identifiers of _PlugIn, as the host has bound them.
inline constexpr DISPID kDispIdDoModal = 0x60030001;
inline constexpr DISPID kDispIdName = 0x68030000;

// The host's type library "MaxIm" 1.0 in "MaxIm_DL.exe", and its document dispinterface,
// which types DoModal's Doc parameter.
inline constexpr GUID kHostLibId = {0xB4955EC7, 0xF7F2, 0x11D2, {0xAA, 0x9C, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr GUID kHostDocumentIid = {0xB4955EC8, 0xF7F2, 0x11D2, {0xAA, 0x9C, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr wchar_t kHostLibName[] = L"MaxIm";
inline constexpr wchar_t kHostLibFile[] = L"MaxIm_DL.exe";
inline constexpr WORD kHostLibMajor = 1;
inline constexpr WORD kHostLibMinor = 0;

}  // namespace starwright::plugin
