#include "plugin/window_slot.h"

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

struct ToolWindow {
    com::ComHostFactory host;
    Win32Toolkit toolkit;
    frmMain form{host, WindowsPlatform(), toolkit};
};

// Every thread's window, so that unloading the module can release them all.
class ToolWindows {
public:
    ToolWindows() = default;
    ToolWindows(const ToolWindows&) = delete;
    ToolWindows& operator=(const ToolWindows&) = delete;

    ~ToolWindows() {
        // Runs at module detach. On an unload no window is showing (a running DoModal keeps
        // its object, and so the module, alive) and the windows are released here. When the
        // process is ending, the apartments and the host's proxies are already gone and other
        // modules may be unloaded: releasing the camera proxies then can fault or block, so
        // the windows are deliberately left to the process's end.
        if (ProcessTerminating()) {
            for (auto& window : windows_) (void)window.release();
        }
    }

    ToolWindow& Add(std::unique_ptr<ToolWindow> window) {
        std::lock_guard<std::mutex> lock(mutex_);
        windows_.push_back(std::move(window));
        return *windows_.back();
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

}  // namespace

void ShowToolWindow() {
    if (!t_window) t_window = &g_windows.Add(std::make_unique<ToolWindow>());
    // Show() loads the controls afresh after the previous showing closed; a window that is still
    // showing (DoModal re-entered from its own modal loop) is never reloaded under its handlers.
    t_window->form.Show();
}

}  // namespace starwright::plugin
