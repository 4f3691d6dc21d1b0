#pragma once
// The host's automation identifiers (MaxIm DL, type library "MaxIm" 1.0): the classes its
// executable serves, the dispatch interfaces of its objects, and the fixed DISPIDs the binding
// calls by. Documents are called by member name, so they have no DISPIDs here.

#include <windows.h>

#include <oaidl.h>

namespace starwright::com::host_ids {

inline constexpr GUID kCameraClass = {0x26819E05, 0xF8BA, 0x11D2, {0xAA, 0x9C, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr GUID kCameraInterface = {0x26819E04, 0xF8BA, 0x11D2, {0xAA, 0x9C, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr GUID kApplicationClass = {0x3BEEE75E, 0xCEE3, 0x11D3, {0x8D, 0x21, 0x00, 0x60, 0x67, 0x66, 0x1C, 0xE9}};
inline constexpr GUID kApplicationInterface = {0x3BEEE75D, 0xCEE3, 0x11D3, {0x8D, 0x21, 0x00, 0x60, 0x67, 0x66, 0x1C, 0xE9}};
inline constexpr GUID kDocumentListInterface = {0x6995C963, 0x5416, 0x11D4, {0x91, 0x31, 0x00, 0x60, 0x67, 0x66, 0x44, 0xC1}};
inline constexpr GUID kDocumentInterface = {0xB4955EC8, 0xF7F2, 0x11D2, {0xAA, 0x9C, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

namespace camera {
inline constexpr DISPID kSetpoint = 2;
inline constexpr DISPID kCoolerEnabled = 3;
inline constexpr DISPID kConnected = 10;
inline constexpr DISPID kSetpointAllowed = 17;
inline constexpr DISPID kSensorTemperature = 20;
inline constexpr DISPID kPreLinkFlag = 33;
inline constexpr DISPID kSignalRun = 53;
inline constexpr DISPID kAutoSaveName = 79;
inline constexpr DISPID kAutoSaveStart = 80;
}  // namespace camera

namespace application {
inline constexpr DISPID kDocuments = 12;
}

namespace document_list {
inline constexpr DISPID kItem = 1;
inline constexpr DISPID kCount = 2;
}  // namespace document_list

}  // namespace starwright::com::host_ids
