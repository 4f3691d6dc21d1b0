#pragma once
// The host's type library, which the plug-in's DoModal refers to for its parameter's type. The
// stand-in host carries a stub of it under the real library's identifier. On a machine where the
// real host is installed, its registration must stay as it is: the stub is registered only when
// no registration of the library (or of any of its interfaces) exists, and exactly what was
// registered is removed again when the stand-in host ends.

#include <windows.h>

#include <oleauto.h>

#include <string>

namespace starwright::demo {

class HostLibrary {
public:
    enum class State { Registered, AlreadyRegistered, Failed };

    explicit HostLibrary(const std::wstring& stubFile);
    // Removes the stub's registration, if this object made it.
    ~HostLibrary();
    HostLibrary(const HostLibrary&) = delete;
    HostLibrary& operator=(const HostLibrary&) = delete;

    State Status() const { return state_; }
    HRESULT Error() const { return error_; }

private:
    State state_ = State::Failed;
    HRESULT error_ = S_OK;
    GUID id_{};
    WORD major_ = 0, minor_ = 0;
    LCID locale_ = 0;
    SYSKIND system_ = SYS_WIN32;
};

}  // namespace starwright::demo
