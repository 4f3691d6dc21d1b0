#include "window/frm_main.h"

#include <string>

#include "tools/cooldown.h"
#include "tools/dated_folder.h"
#include "tools/fits_key.h"

namespace starwright {

frmMain::frmMain(HostFactory& host, const Platform& platform, Toolkit& toolkit)
    : host_(host), platform_(platform), toolkit_(toolkit) {}

class frmMain::ActiveScope {
public:
    explicit ActiveScope(frmMain& form) : form_(form) { ++form_.active_; }
    ~ActiveScope() {
        if (--form_.active_ == 0) form_.retired_.clear();
    }
    ActiveScope(const ActiveScope&) = delete;
    ActiveScope& operator=(const ActiveScope&) = delete;

private:
    frmMain& form_;
};

frmMain::~frmMain() = default;

void frmMain::Load() {
    if (window_) retired_.push_back(std::move(window_));
    if (active_ == 0) retired_.clear();
    window_ = toolkit_.Load(FrmMainDescription(), *this);
}

void frmMain::Show() {
    if (!IsLoaded()) Load();
    ActiveScope active(*this);
    window_->RunModal();
}

void frmMain::Close() {
    if (window_) window_->Close();
}

HostCamera& frmMain::Camera() {
    if (!camera_) camera_ = host_.CreateCamera();
    return *camera_;
}

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
    LoadedWindow& window = *window_;
    auto application = host_.CreateApplication();
    auto documents = application->GetDocuments();
    const int16_t count = NarrowToInt16(documents->GetCount());
    // A call to a host in another process lets window messages through, and one of them may
    // have closed the window; so the window is checked after every host call. Positions go to
    // the host as 16-bit integers; the counter itself is wider so that a count of exactly 32767
    // ends the loop instead of wrapping to -32768.
    if (window.IsClosed()) return;
    Control& list = window.Find("lstImagesBin");
    // A list box that draws itself after every entry takes a hundred to a thousand times as long
    // as the listing; it is drawn once, with what it holds, when the listing ends or fails.
    const ListDrawnOnce drawnOnce(window, list);
    std::string name;
    for (int32_t position = 1; position <= count; ++position) {
        documents->GetItemDisplayName(static_cast<int16_t>(position), name);
        if (window.IsClosed()) return;
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
// is shown to the user in a message box, and the window stays as the failure left it.
void frmMain::OnControlEvent(const ControlDescription& control, ControlEvent event) {
    ActiveScope active(*this);
    try {
        if (!IsLoaded()) return;
        Dispatch(control, event);
    } catch (...) {
        try {
            const std::string description = DescribeCurrentException();
            if (IsLoaded()) window_->ShowMessage(description);
        } catch (...) {
            // Nothing is left to report through; the host must not see the failure.
        }
    }
}

}  // namespace starwright
