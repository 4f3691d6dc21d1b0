#include "window/frm_main.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "tools/cooldown.h"
#include "tools/dated_folder.h"
#include "tools/fits_key.h"

namespace starwright {

// One showing of the window, from load to close, and the receiver of its controls' events.
struct frmMain::Showing final : EventSink {
    explicit Showing(frmMain& owner) : form(owner) {}
    void OnControlEvent(const ControlDescription& control, ControlEvent event) override {
        form.Handle(*this, control, event);
    }

    frmMain& form;
    std::unique_ptr<LoadedWindow> window;
    bool tickRunning = false;
};

frmMain::frmMain(HostFactory& host, const Platform& platform, Toolkit& toolkit)
    : guardedHost_(host, [this] { RequireOpen(); }), platform_(platform), toolkit_(toolkit) {}

class frmMain::ActiveScope {
public:
    ActiveScope(frmMain& form, Showing& showing) : form_(form), outer_(std::exchange(form.running_, &showing)) {
        ++form_.active_;
    }
    ~ActiveScope() {
        form_.running_ = outer_;
        if (--form_.active_ == 0) form_.retired_.clear();
    }
    ActiveScope(const ActiveScope&) = delete;
    ActiveScope& operator=(const ActiveScope&) = delete;

private:
    frmMain& form_;
    Showing* const outer_;
};

frmMain::~frmMain() = default;

frmMain::Showing* frmMain::Innermost() const { return running_ ? running_ : showing_.get(); }

frmMain::Showing& frmMain::Current() const {
    Showing* showing = Innermost();
    if (!showing) throw std::logic_error("the window has not been loaded");
    return *showing;
}

void frmMain::RequireOpen() const {
    if (running_ && running_->window->IsClosed()) throw ShowingClosed();
}

// The new showing is complete before the previous one is retired, so that a failing load
// leaves the object as it was.
void frmMain::Load() {
    auto fresh = std::make_unique<Showing>(*this);
    fresh->window = toolkit_.Load(FrmMainDescription(), *fresh);
    if (showing_) {
        retired_.reserve(retired_.size() + 1);
        retired_.push_back(std::move(showing_));
    }
    showing_ = std::move(fresh);
    if (active_ == 0) retired_.clear();
}

bool frmMain::IsLoaded() const {
    const Showing* showing = Innermost();
    return showing && !showing->window->IsClosed();
}

LoadedWindow& frmMain::Window() { return *Current().window; }

void frmMain::Show() {
    if (!showing_ || showing_->window->IsClosed()) Load();
    Showing& showing = *showing_;
    ActiveScope active(*this, showing);
    showing.window->RunModal();
}

void frmMain::Close() {
    if (Showing* showing = Innermost()) showing->window->Close();
}

Control& frmMain::Find(std::string_view name, int16_t index) {
    RequireOpen();
    return Current().window->Find(name, index);
}

HostCamera& frmMain::Camera() {
    if (!camera_) {
        auto created = guardedHost_.CreateCamera();
        // A handler run from inside the creation may have created one already.
        if (!camera_) camera_ = std::move(created);
    }
    return *camera_;
}

bool& frmMain::TickRunning() { return Current().tickRunning; }

void frmMain::optOptions_Click(int16_t index) {
    switch (index) {
    case 0:
        Find("vHandyStart").SetVisible(false);
        Find("vBin").SetVisible(false);
        Find("vHandyPath").SetVisible(true);
        break;
    case 1:
        Find("vHandyPath").SetVisible(false);
        Find("vBin").SetVisible(false);
        Find("vHandyStart").SetVisible(true);
        break;
    case 2:
        Find("vHandyPath").SetVisible(false);
        Find("vHandyStart").SetVisible(false);
        Find("vBin").SetVisible(true);
        LoadBinImages();
        Find("cmbType").SetListIndex(0);
        Find("txtKey").SetText("");
        Find("txtKeyValue").SetText("");
        Find("txtMessage4").SetVisible(false);
        break;
    default:
        break;
    }
}

void frmMain::cmdExit_Click() { Close(); }

void frmMain::LoadBinImages() {
    LoadedWindow& window = Window();
    auto application = Host().CreateApplication();
    auto documents = application->GetDocuments();
    const int16_t count = NarrowToInt16(documents->GetCount());
    // Positions go to the host as 16-bit integers; the counter itself is wider so that a count
    // of exactly 32767 ends the loop instead of wrapping to -32768. A close inside any of these
    // host calls ends the listing there (Host() checks the window around every call).
    Control& list = Find("lstImagesBin");
    // A list box that draws itself after every entry takes a hundred to a thousand times as long
    // as the listing; it is drawn once, with what it holds, when the listing ends or fails.
    const ListDrawnOnce drawnOnce(window, list);
    std::string name;
    for (int32_t position = 1; position <= count; ++position) {
        documents->GetItemDisplayName(static_cast<int16_t>(position), name);
        list.AddItem(name);
    }
}

void frmMain::Dispatch(const ControlDescription& control, ControlEvent event) {
    const std::string_view name = control.name;
    if (event == ControlEvent::Click) {
        if (name == "optOptions") return optOptions_Click(control.index);
        if (name == "cmdExit") return cmdExit_Click();
        if (name == "cmdStart") return cooldown::cmdStart_Click(*this);
        if (name == "cmdQuit") return cooldown::cmdQuit_Click(*this);
        if (name == "cmdBinMove") return fits_key::cmdBinMove_Click(*this, control.index);
        if (name == "cmdSet") return fits_key::cmdSet_Click(*this);
        if (name == "cmdCreate") return dated_folder::cmdCreate_Click(*this);
    } else if (event == ControlEvent::DblClick) {
        if (name == "lstImagesBin") return fits_key::lstImagesBin_DblClick(*this);
        if (name == "lstSelectedBin") return fits_key::lstSelectedBin_DblClick(*this);
    } else if (event == ControlEvent::Timer) {
        if (name == "Timer1") return cooldown::Timer1_Timer(*this);
    }
}

// The one exception barrier for every handler: a failure that a handler does not trap itself
// is shown to the user in a message box, and the window stays as the failure left it. A
// handler whose window closed under it leaves here without a word.
void frmMain::Handle(Showing& showing, const ControlDescription& control, ControlEvent event) {
    ActiveScope active(*this, showing);
    try {
        if (!showing.window->IsClosed()) Dispatch(control, event);
    } catch (...) {
        try {
            const std::string description = DescribeCurrentException();
            if (!showing.window->IsClosed()) showing.window->ShowMessage(description);
        } catch (...) {
            // Nothing is left to report through; the host must not see the failure.
        }
    }
}

void frmMain::OnControlEvent(const ControlDescription& control, ControlEvent event) {
    if (showing_) Handle(*showing_, control, event);
}

}  // namespace starwright
