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
    // loaded window through the toolkit from here.
    void Load();
    bool IsLoaded() const { return window_ && !window_->IsClosed(); }
    // The current showing; valid from Load() until the next Load(), even after closing.
    LoadedWindow& Window() { return *window_; }

    // Handlers of the window's own controls.
    void optOptions_Click(int16_t index);
    void cmdExit_Click();
    // Appends the display names of the host's open documents to lstImagesBin.
    void LoadBinImages();
    // Unloads the window: controls destroyed, timer stopped, no further event.
    void Close();

    // What the tools use.
    Control& Find(std::string_view name, int16_t index = -1) { return window_->Find(name, index); }
    // The window's camera, created by the first camera operation and kept for the object's life.
    HostCamera& Camera();
    HostFactory& Host() { return host_; }
    const Platform& Services() const { return platform_; }

    // Cool-down state that lives across events and showings.
    int16_t TimeLeft = 0;
    bool FirstPhase = false;
    // Set while a timer tick runs, so that a tick delivered from inside another tick's event
    // pump is skipped rather than nested.
    bool TickRunning = false;

    void OnControlEvent(const ControlDescription& control, ControlEvent event) override;

private:
    // Counts the modal loops and handlers running on this object for as long as one runs.
    class ActiveScope;

    void Dispatch(const ControlDescription& control, ControlEvent event);

    HostFactory& host_;
    Platform platform_;
    Toolkit& toolkit_;
    std::unique_ptr<LoadedWindow> window_;
    // Showings replaced by Load() while a modal loop or a handler still ran on them (the host
    // may call DoModal from inside a handler's event pump once the window has closed). They
    // are freed when the outermost loop or handler returns.
    std::vector<std::unique_ptr<LoadedWindow>> retired_;
    int active_ = 0;
    std::unique_ptr<HostCamera> camera_;
};

}  // namespace starwright
