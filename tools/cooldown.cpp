#include "tools/cooldown.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

#include "base/failure.h"
#include "window/frm_main.h"

namespace starwright::cooldown {

namespace {

constexpr int16_t kFirstPhaseSeconds = 600;
constexpr int16_t kSecondPhaseSeconds = 120;
constexpr int16_t kColdSetpoint = -50;
// The back-off from the temperature reached; the cooler then holds the new set-point with
// some power in reserve instead of running flat out against a warm night.
constexpr double kBackOff = 0.89;
static_assert(std::bit_cast<uint64_t>(kBackOff) == 0x3FEC7AE147AE147BULL);

void AppendLog(frmMain& form, const std::string& line) {
    Control& log = form.Find("lstLog");
    log.AddItem(line);
    log.SetListIndex(static_cast<int16_t>(log.GetListCount() - 1));
}

void ShowMessage(frmMain& form, const std::string& text) { form.Find("txtMessage2").SetCaption(text); }

// The error trap of "&Start Now" and of the tick; called from inside their catch blocks. A
// failure of the trap itself leaves the handler and reaches the window's barrier, which shows
// it in a message box. Once the window has closed (which is also how a handler is ended when a
// close comes inside one of its host calls) there is nothing left to stop, signal or show.
void StopOnError(frmMain& form) {
    if (!form.IsLoaded()) return;
    const std::string description = DescribeCurrentException();
    form.Find("Timer1").SetEnabled(false);
    ShowMessage(form, description);
    form.Camera().SignalRun(true);
}

// The integer part, toward zero, of the temperature as "#0.0" shows it. It is read from the
// digits of that text rather than by cutting at a "." so that any decimal separator works, and
// the sign is taken from the reading itself, so the locale's way of showing a minus sign does
// not matter either; "-0.0" gives 0.
int16_t WholeDegrees(NumberText& numbers, double temperature) {
    // Not a number, or infinite: no integer part, and never a set-point.
    if (!std::isfinite(temperature)) throw OverflowFailure();
    const std::string text = numbers.FormatFixed1(temperature);
    std::size_t at = 0;
    while (at < text.size() && (text[at] < '0' || text[at] > '9')) ++at;
    if (at == text.size()) throw TypeMismatchFailure();
    int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > 99999) throw OverflowFailure();  // already far outside 16 bits
    }
    return NarrowToInt16(std::signbit(temperature) ? -magnitude : magnitude);
}

// Closes the run: the host hears that the sequence is over, the user sees "Done".
void FinishRun(frmMain& form) {
    form.Find("Timer1").SetEnabled(false);
    form.Camera().SignalRun(true);
    ShowMessage(form, "Done");
    form.Close();
}

void ChangeSetpoint(frmMain& form) {
    HostCamera& camera = form.Camera();
    NumberText& numbers = form.Services().numberText;
    const int16_t whole = WholeDegrees(numbers, camera.GetSensorTemperature());
    camera.PutSetpoint(static_cast<double>(whole) * kBackOff);
    const std::string shown = numbers.FormatGeneral(camera.GetSetpoint());
    form.Find("lblSetTemp").SetCaption(shown);
    form.FirstPhase = false;
    AppendLog(form, "Temperature set to " + shown);
    form.TimeLeft = kSecondPhaseSeconds;
}

void Tick(frmMain& form) {
    form.TimeLeft = NarrowToInt16(int64_t{form.TimeLeft} - 1);
    if (form.TimeLeft <= 0 && form.FirstPhase) {
        if (form.Find("chkNoSet").GetValue() == 1) return FinishRun(form);
        ChangeSetpoint(form);
    }
    if (form.TimeLeft <= 0) return FinishRun(form);

    form.Find("lblTime").SetCaption(std::to_string(form.TimeLeft));
    const double temperature = form.Camera().GetSensorTemperature();
    form.Find("lblTemp").SetCaption(form.Services().numberText.FormatFixed1(temperature));
    // Clicks waiting here may run "&End" or "Exit" and close the window under this tick, so
    // this is the tick's last touch of the window.
    form.Window().DoEvents();
}

// Marks a tick as running for as long as it runs, whichever way it leaves.
class TickScope {
public:
    explicit TickScope(bool& running) : running_(running) { running_ = true; }
    ~TickScope() { running_ = false; }
    TickScope(const TickScope&) = delete;
    TickScope& operator=(const TickScope&) = delete;

private:
    bool& running_;
};

}  // namespace

void cmdStart_Click(frmMain& form) {
    try {
        form.Find("lstLog").Clear();
        HostCamera& camera = form.Camera();
        camera.PutPreLinkFlag(true);
        camera.PutConnected(true);
        if (!camera.GetConnected()) {
            ShowMessage(form, "Failed to start camera.");
            return;
        }
        camera.SignalRun(false);
        AppendLog(form, "CCD Connected");
        camera.PutPreLinkFlag(true);
        camera.PutCoolerEnabled(true);
        AppendLog(form, "Cooler Turned On");
        if (!camera.GetSetpointAllowed()) {
            ShowMessage(form, "This CCD does not allow the temperature to be set.");
            camera.SignalRun(true);
            return;
        }
        camera.PutSetpoint(kColdSetpoint);
        form.Find("lblSetTemp").SetCaption(std::to_string(kColdSetpoint));
        AppendLog(form, "Temperature set to " + std::to_string(kColdSetpoint));
        form.TimeLeft = kFirstPhaseSeconds;
        form.Find("lblTime").SetCaption(std::to_string(kFirstPhaseSeconds));
        form.FirstPhase = true;
        form.Find("Timer1").SetEnabled(true);
        form.Find("cmdStart").SetEnabled(false);
    } catch (...) {
        StopOnError(form);
    }
}

void Timer1_Timer(frmMain& form) {
    // A tick that arrives while an earlier one waits in its event pump would interleave two
    // countdowns on one window; it is dropped instead.
    bool& running = form.TickRunning();
    if (running) return;
    TickScope scope(running);
    try {
        Tick(form);
    } catch (...) {
        StopOnError(form);
    }
}

void cmdQuit_Click(frmMain& form) { FinishRun(form); }

}  // namespace starwright::cooldown
