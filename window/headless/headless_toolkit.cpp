#include "window/headless/headless_toolkit.h"

#include <stdexcept>

namespace starwright {

class HeadlessControl final : public Control {
public:
    explicit HeadlessControl(const ControlDescription& d) : d_(d), caption_(d.caption), visible_(d.visible) {
        enabled_ = d.type != ControlType::Timer;
        if (d.type == ControlType::TextBox) text_ = std::string(d.caption);
        if (d.type == ControlType::OptionButton) value_ = d.selected ? 1 : 0;
        for (auto item : d.items) items_.emplace_back(item);
    }

    const ControlDescription& Description() const override { return d_; }
    std::string GetCaption() override { return caption_; }
    void SetCaption(const std::string& caption) override { caption_ = caption; }
    bool GetVisible() override { return visible_; }
    void SetVisible(bool visible) override { visible_ = visible; }
    bool GetEnabled() override { return enabled_; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }
    std::string GetText() override {
        if (d_.type == ControlType::ListBox || d_.type == ControlType::ComboBox)
            return index_ >= 0 ? items_[index_] : std::string();
        return text_;
    }
    void SetText(const std::string& text) override { text_ = text; }
    int GetValue() override { return value_; }
    void SetValue(int value) { value_ = value; }
    int16_t GetListCount() override { return static_cast<int16_t>(items_.size()); }
    std::string GetListItem(int16_t position) override {
        if (position < 0 || position >= GetListCount()) return {};
        return items_[position];
    }
    int16_t GetListIndex() override { return index_; }
    void SetListIndex(int16_t position) override {
        if (position < -1 || position >= GetListCount()) throw std::out_of_range("list position");
        index_ = position;
    }
    void AddItem(const std::string& text) override { items_.push_back(text); }
    void RemoveItem(int16_t position) override {
        if (position < 0 || position >= GetListCount()) throw std::out_of_range("list position");
        items_.erase(items_.begin() + position);
        // Like a native list box: the selection goes with the removed entry.
        if (index_ == position) index_ = -1;
        else if (index_ > position) --index_;
    }
    void Clear() override {
        items_.clear();
        index_ = -1;
    }
    void AddItemsOf(Control& source, int16_t count) override {
        for (int16_t position = 0; position < count; ++position) AddItem(source.GetListItem(position));
    }
    // Nothing is drawn here.
    void SuspendRedraw() override {}
    void ResumeRedraw() noexcept override {}

private:
    const ControlDescription& d_;
    std::string caption_;
    std::string text_;
    bool visible_;
    bool enabled_ = true;
    int value_ = 0;
    std::vector<std::string> items_;
    int16_t index_ = -1;
};

HeadlessWindow::HeadlessWindow(const FormDescription& form, EventSink& events) : events_(events) {
    for (const auto& d : form.controls) controls_.push_back(std::make_unique<HeadlessControl>(d));
}

HeadlessWindow::~HeadlessWindow() = default;

Control& HeadlessWindow::Find(std::string_view name, int16_t index) {
    if (closed_) throw std::logic_error("control used after its window closed: " + std::string(name));
    for (auto& control : controls_)
        if (control->Description().name == name && control->Description().index == index) return *control;
    throw std::logic_error("no such control: " + std::string(name));
}

// Like the native window: a second modal loop on a window that is showing is refused.
void HeadlessWindow::RunModal() {
    if (running_) throw std::logic_error("the window is already shown modally");
    running_ = true;
    try {
        if (onModal) onModal(*this);
    } catch (...) {
        running_ = false;
        throw;
    }
    running_ = false;
    if (!closed_) Close();
}

// Frees the controls at once, as destroying native windows does, so that a handler that
// touches a control after the window closed is caught by the address sanitizer.
void HeadlessWindow::Close() {
    closed_ = true;
    controls_.clear();
}

void HeadlessWindow::DoEvents() {
    ++doEventsCount;
    while (!pendingEvents.empty()) {
        auto event = std::move(pendingEvents.front());
        pendingEvents.pop_front();
        event(*this);
    }
}

void HeadlessWindow::ShowMessage(const std::string& text) { messages.push_back(text); }

void HeadlessWindow::Click(std::string_view name, int16_t index) {
    auto& control = static_cast<HeadlessControl&>(Find(name, index));
    const ControlDescription& d = control.Description();
    if (!control.GetEnabled()) return;
    if (d.type == ControlType::OptionButton) {
        // Like a native option button: clicking the one already chosen changes nothing.
        if (control.GetValue() == 1) return;
        for (auto& other : controls_)
            if (other->Description().name == d.name) other->SetValue(0);
        control.SetValue(1);
    } else if (d.type == ControlType::CheckBox) {
        control.SetValue(control.GetValue() ? 0 : 1);
    }
    events_.OnControlEvent(d, ControlEvent::Click);
}

void HeadlessWindow::Type(std::string_view name, const std::string& text) { Find(name).SetText(text); }

void HeadlessWindow::Select(std::string_view name, int16_t position) { Find(name).SetListIndex(position); }

void HeadlessWindow::DoubleClick(std::string_view name) {
    events_.OnControlEvent(Find(name).Description(), ControlEvent::DblClick);
}

void HeadlessWindow::Tick(std::string_view name) {
    Control& timer = Find(name);
    if (timer.GetEnabled()) events_.OnControlEvent(timer.Description(), ControlEvent::Timer);
}

void HeadlessWindow::CloseBox() { Close(); }

std::unique_ptr<LoadedWindow> HeadlessToolkit::Load(const FormDescription& form, EventSink& events) {
    auto window = std::make_unique<HeadlessWindow>(form, events);
    window->onModal = onModal;
    last = window.get();
    ++loads;
    return window;
}

}  // namespace starwright
