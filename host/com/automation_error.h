#pragma once
// Turning a failed automation call into the HostError the tools trap: the number and the
// description that a user of an automation host would see for it.

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "host/host.h"

namespace starwright::com {

// The system's text for an HRESULT without trailing line breaks, or "" if it has none.
std::string SystemMessage(HRESULT hr);
// The system's text; else Windows' text for the common automation failures (a system without
// it, such as Wine, still gives a readable message); else "Automation error 0x8XXXXXXX".
std::string HResultText(HRESULT hr);

// A call that failed with a bare HRESULT.
HostError ErrorFromHResult(HRESULT hr);
// A call that failed with DISP_E_EXCEPTION: the server's own number and description. Fills in
// deferred information first; the strings stay owned by the caller's EXCEPINFO.
HostError ErrorFromException(EXCEPINFO& info);

// The one owner of the strings a server puts into an EXCEPINFO.
class UniqueExcepInfo {
public:
    UniqueExcepInfo() noexcept : info_{} {}
    ~UniqueExcepInfo() {
        // Filled only when a call fails; every call of a long scan passes one.
        if (info_.bstrSource) SysFreeString(info_.bstrSource);
        if (info_.bstrDescription) SysFreeString(info_.bstrDescription);
        if (info_.bstrHelpFile) SysFreeString(info_.bstrHelpFile);
    }
    UniqueExcepInfo(const UniqueExcepInfo&) = delete;
    UniqueExcepInfo& operator=(const UniqueExcepInfo&) = delete;
    EXCEPINFO* Get() noexcept { return &info_; }

private:
    EXCEPINFO info_;
};

}  // namespace starwright::com
