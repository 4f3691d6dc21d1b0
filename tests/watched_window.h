#pragma once
// A headless window wrapped to see what handlers do around closing: the message line and log
// as they stood when the window closed (the headless toolkit frees them then), and every use
// of the window after it closed.

#include <memory>
#include <string>
#include <vector>

#include "window/headless/headless_toolkit.h"

namespace starwright {

class WatchedWindow final : public LoadedWindow {
public:
    // `uses` counts the uses after close of every window watched alike, beyond this one's life.
    WatchedWindow(std::unique_ptr<LoadedWindow> inner, int& uses) : inner_(std::move(inner)), uses_(uses) {}
    Control& Find(std::string_view name, int16_t index) override {
        CountUseAfterClose();
        return inner_->Find(name, index);
    }
    void RunModal() override { inner_->RunModal(); }
    void Close() override {
        if (inner_->IsClosed()) {
            CountUseAfterClose();
        } else {
            messageAtClose = inner_->Find("txtMessage2").GetCaption();
            Control& log = inner_->Find("lstLog");
            for (int16_t i = 0; i < log.GetListCount(); ++i) logAtClose.push_back(log.GetListItem(i));
        }
        inner_->Close();
    }
    bool IsClosed() const override { return inner_->IsClosed(); }
    void DoEvents() override {
        CountUseAfterClose();
        inner_->DoEvents();
    }
    void ShowMessage(const std::string& text) override {
        CountUseAfterClose();
        inner_->ShowMessage(text);
    }

    std::string messageAtClose;
    std::vector<std::string> logAtClose;
    int usesAfterClose = 0;

private:
    void CountUseAfterClose() {
        if (!inner_->IsClosed()) return;
        ++usesAfterClose;
        ++uses_;
    }
    std::unique_ptr<LoadedWindow> inner_;
    int& uses_;
};

// Loads headless windows and watches each.
class WatchedToolkit final : public Toolkit {
public:
    std::unique_ptr<LoadedWindow> Load(const FormDescription& form, EventSink& events) override {
        auto window = std::make_unique<WatchedWindow>(headless.Load(form, events), usesAfterClose);
        last = window.get();
        return window;
    }
    HeadlessToolkit headless;
    WatchedWindow* last = nullptr;
    int usesAfterClose = 0;
};

}  // namespace starwright
