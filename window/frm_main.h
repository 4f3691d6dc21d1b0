#pragma once
// frmMain, the plug-in's one window, as a model: it loads its controls through a toolkit,
// switches between the three tools, lists the host's open documents, closes, and routes each
// control event to its handler. The object outlives its showings and owns the state the tools
// keep between them: the host camera and the cool-down counters.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "platform/platform.h"
#include "window/guarded_host.h"
#include "window/toolkit.h"

namespace starwright {

class frmMain final : public EventSink {
public:
    frmMain(HostFactory& host, const Platform& platform, Toolkit& toolkit);
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // Loads the controls in their initial state (if not loaded), shows the window modally and
    // returns once it has closed. Failures to load or show propagate to the caller.
    void Show();
    // Creates the controls in their initial state; the window is not shown. Tests drive the
    // loaded window through the toolkit from here. A failure leaves the previous showing as it was.
    void Load();

    // What follows acts on the showing this code runs for: the one whose handler or modal loop
    // runs innermost, else the one loaded last. A handler thus never reaches a showing that the
    // host opened from inside one of its event pumps after its own had closed.
    bool IsLoaded() const;
    // Valid once a Load() has succeeded, also after closing.
    LoadedWindow& Window();

    // Handlers of the window's own controls.
    void optOptions_Click(int16_t index);
    void cmdExit_Click();
    // Appends the display names of the host's open documents to lstImagesBin.
    void LoadBinImages();
    // Unloads the window: controls destroyed, timer stopped, no further event.
    void Close();

    // What the tools use. Inside a handler whose window has closed, Find and every host call
    // throw ShowingClosed (window/guarded_host.h), which ends the handler silently.
    Control& Find(std::string_view name, int16_t index = -1);
    // The window's camera, created by the first camera operation and kept for the object's life.
    HostCamera& Camera();
    HostFactory& Host() { return guardedHost_; }
    const Platform& Services() const { return platform_; }

    // Cool-down state that lives across events and showings.
    int16_t TimeLeft = 0;
    bool FirstPhase = false;
    // Set while a timer tick runs, so that a tick delivered from inside another tick's event
    // pump is skipped rather than nested. It belongs to the showing: a window the host opens
    // again from inside a tick's event pump ticks on its own.
    bool& TickRunning();

    // Delivers an event to the showing loaded last, as its controls would.
    void OnControlEvent(const ControlDescription& control, ControlEvent event) override;

private:
    struct Showing;
    // Marks a modal loop or a handler running on a showing for as long as it runs.
    class ActiveScope;

    // The showing of the innermost modal loop or handler running, else the one loaded last.
    Showing* Innermost() const;
    Showing& Current() const;
    void Handle(Showing& showing, const ControlDescription& control, ControlEvent event);
    void Dispatch(const ControlDescription& control, ControlEvent event);
    // Throws ShowingClosed when a handler or modal loop runs and its showing has closed.
    void RequireOpen() const;

    GuardedHostFactory guardedHost_;
    Platform platform_;
    Toolkit& toolkit_;
    std::unique_ptr<Showing> showing_;
    // Showings replaced by Load() while a modal loop or a handler still ran on them (the host
    // may call DoModal from inside a handler's event pump once the window has closed). They
    // are freed when the outermost loop or handler returns.
    std::vector<std::unique_ptr<Showing>> retired_;
    // The showing of the innermost modal loop or handler running.
    Showing* running_ = nullptr;
    int active_ = 0;
    std::unique_ptr<HostCamera> camera_;
};

}  // namespace starwright
