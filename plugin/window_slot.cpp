#include "plugin/window_slot.h"

#include <windows.h>

#include <objbase.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "host/com/com_host.h"
#include "platform/windows_platform.h"
#include "plugin/module.h"
#include "plugin/tool_window.h"
#include "window/frm_main.h"
#include "window/win32/win32_toolkit.h"

namespace starwright::plugin {

namespace {

static_assert(kCoolDownTimerId == kTimer1Id, "hosts fast-forward the cool-down with the timer's id");

void HoldThreadWindow();

// The thread's window, which reaches the host through itself so that it knows when it takes
// the host's camera: from then on it holds a host object, which belongs to this thread's
// apartment and must be released here, before the module may unload.
struct ToolWindow final : HostFactory {
    std::unique_ptr<HostCamera> CreateCamera() override {
        auto camera = host.CreateCamera();
        if (!holdsCamera) {
            holdsCamera = true;
            HoldThreadWindow();
        }
        return camera;
    }
    std::unique_ptr<HostApplication> CreateApplication() override { return host.CreateApplication(); }

    com::ComHostFactory host;
    // The thread it belongs to, for its end, when its thread_locals are not to be touched.
    const DWORD thread = GetCurrentThreadId();
    bool holdsCamera = false;
    Win32Toolkit toolkit;
    frmMain form{*this, WindowsPlatform(), toolkit};
};

// Every thread's window, so that the module knows them all when it unloads.
class ToolWindows {
public:
    ToolWindows() = default;
    ToolWindows(const ToolWindows&) = delete;
    ToolWindows& operator=(const ToolWindows&) = delete;

    ~ToolWindows() {
        // Runs at module detach, under the loader lock, where no host object may be released.
        // A window holding the camera keeps the module loaded until its own thread has
        // released it; one is still here only when the process is ending (the apartments and
        // the host's proxies may be gone, other modules unloaded) or the module was freed
        // regardless, and is left to the process. Any other window is closed and holds
        // nothing but memory (a closed form gives back its window classes, fonts and brush),
        // which is all that is freed here.
        for (auto& window : windows_)
            if (ProcessTerminating() || window->holdsCamera) (void)window.release();
    }

    ToolWindow& Add(std::unique_ptr<ToolWindow> window) {
        std::lock_guard<std::mutex> lock(mutex_);
        windows_.push_back(std::move(window));
        return *windows_.back();
    }

    std::unique_ptr<ToolWindow> Remove(ToolWindow* window) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = std::find_if(windows_.begin(), windows_.end(), [window](const auto& w) { return w.get() == window; });
        if (found == windows_.end()) return nullptr;
        std::unique_ptr<ToolWindow> removed = std::move(*found);
        windows_.erase(found);
        return removed;
    }

    // The window of `thread`, which is ending: no one can show it again. Not one that holds the
    // camera (released when its apartment ends, or kept with the module), nor one still showing.
    std::unique_ptr<ToolWindow> RemoveEnded(DWORD thread) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = std::find_if(windows_.begin(), windows_.end(), [thread](const auto& w) {
            return w->thread == thread && !w->holdsCamera && !w->form.IsLoaded();
        });
        if (found == windows_.end()) return nullptr;
        std::unique_ptr<ToolWindow> removed = std::move(*found);
        windows_.erase(found);
        return removed;
    }

private:
    // Threads that create windows at the same time must not corrupt the list.
    std::mutex mutex_;
    std::vector<std::unique_ptr<ToolWindow>> windows_;
};

ToolWindows g_windows;

// Keyed by the thread itself rather than its id: an id can be reused by a later thread,
// which must not inherit a window whose camera proxy belongs to a dead apartment.
thread_local ToolWindow* t_window = nullptr;
thread_local ULARGE_INTEGER t_spyCookie{};

void ReleaseThreadWindow();

// Told by COM of every CoUninitialize of a thread whose window holds the camera. The last one
// ends the thread's apartment, and with it the camera proxy: just before, still on the
// thread and not under the loader lock, the window and its camera are released.
class ApartmentEndSpy final : public IInitializeSpy {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = riid == IID_IUnknown || riid == IID_IInitializeSpy ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    // One object for every thread, living as long as the module.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE PreInitialize(DWORD, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostInitialize(HRESULT result, DWORD, DWORD) override { return result; }
    HRESULT STDMETHODCALLTYPE PreUninitialize(DWORD apartmentReferences) override {
        try {
            if (apartmentReferences == 1) ReleaseThreadWindow();
        } catch (...) {
            // The window stays, and with it the module: safe, if never unloaded.
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PostUninitialize(DWORD) override { return S_OK; }
};

ApartmentEndSpy g_spy;

// The window has taken the camera: the module stays in use until the thread's apartment ends.
// Should COM not tell this thread's end, the module stays loaded for good, which is safe.
void HoldThreadWindow() {
    LockModule();
    if (FAILED(CoRegisterInitializeSpy(&g_spy, &t_spyCookie))) t_spyCookie.QuadPart = 0;
}

void ReleaseThreadWindow() {
    // A window still showing (the apartment ended from inside its own loop) is kept.
    if (!t_window || t_window->form.IsLoaded()) return;
    // Releases the camera proxy, here in its own apartment.
    g_windows.Remove(t_window).reset();
    t_window = nullptr;
    CoRevokeInitializeSpy(t_spyCookie);
    t_spyCookie.QuadPart = 0;
    UnlockModule();
}

}  // namespace

// Found by the thread's id rather than through t_window: every thread of the process passes here
// as it ends, and reading a thread_local would give each one that never showed the window its
// thread-local storage first (which, made without memory, aborts). The id is still this thread's
// alone; a window of an earlier thread with the same id is one that holds the camera or is
// showing, which stay.
void ReleaseEndedThreadWindow() noexcept {
    try {
        // Under the loader lock: a closed window that holds no host object gives back nothing
        // but memory.
        g_windows.RemoveEnded(GetCurrentThreadId()).reset();
    } catch (...) {
        // The list's lock could not be made: the window stays until the module unloads.
    }
}

void ShowToolWindow() {
    if (!t_window) t_window = &g_windows.Add(std::make_unique<ToolWindow>());
    // Show() loads the controls afresh after the previous showing closed; a window that is still
    // showing (DoModal re-entered from its own modal loop) is never reloaded under its handlers.
    t_window->form.Show();
}

}  // namespace starwright::plugin
