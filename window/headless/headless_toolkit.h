#pragma once
// An in-memory toolkit for tests: controls are plain data, and a test clicks, types,
// double-clicks and delivers timer ticks as a user and the timer would.

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "window/toolkit.h"

namespace starwright {

class HeadlessControl;

class HeadlessWindow final : public LoadedWindow {
public:
    HeadlessWindow(const FormDescription& form, EventSink& events);
    ~HeadlessWindow() override;

    Control& Find(std::string_view name, int16_t index = -1) override;
    void RunModal() override;
    void Close() override;
    bool IsClosed() const override { return closed_; }
    void DoEvents() override;
    void ShowMessage(const std::string& text) override;

    // What a user does. Each delivers the control's event as the native toolkit would: a click
    // on a disabled button, or a tick of a disabled timer, delivers nothing.
    void Click(std::string_view name, int16_t index = -1);
    void Type(std::string_view name, const std::string& text);
    void Select(std::string_view name, int16_t position);
    void DoubleClick(std::string_view name);
    void Tick(std::string_view name = "Timer1");
    // Closes the window through its close box.
    void CloseBox();

    // Runs when the window is shown modally (stands in for the user's session), or, queued,
    // the next time a handler lets pending events run.
    std::function<void(HeadlessWindow&)> onModal;
    std::deque<std::function<void(HeadlessWindow&)>> pendingEvents;
    // Texts of the message boxes shown, in order.
    std::vector<std::string> messages;
    int doEventsCount = 0;

private:
    EventSink& events_;
    std::vector<std::unique_ptr<HeadlessControl>> controls_;
    bool closed_ = false;
    bool running_ = false;
};

class HeadlessToolkit final : public Toolkit {
public:
    std::unique_ptr<LoadedWindow> Load(const FormDescription& form, EventSink& events) override;

    // The window most recently loaded (owned by whoever loaded it).
    HeadlessWindow* last = nullptr;
    // Handed to every window it loads.
    std::function<void(HeadlessWindow&)> onModal;
    int loads = 0;
};

}  // namespace starwright
