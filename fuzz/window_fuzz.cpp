// The whole window under a fuzzer: frmMain on the headless toolkit over the simulated host.
// The input chooses the user's every next action (a click on any control, typed text, a list
// pick, timer ticks, the close box, the host showing the window again) and every host answer
// (the host's own, an unexpected value, a failure, a change of its document list, or a user
// action that the host lets run inside its call). On every step:
// - nothing crashes and the sanitizers stay quiet, and no exception leaves a handler;
// - no handler calls the host once its window has closed;
// - no tick runs inside a tick of the same showing;
// - a set-point is written only from a finite temperature, as 0.89 times a 16-bit integer.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "host/sim/sim_host.h"
#include "platform/portable_platform.h"
#include "window/frm_main.h"
#include "window/headless/headless_toolkit.h"

namespace starwright {
namespace {

[[noreturn]] void Broken(const std::string& invariant) {
    std::fprintf(stderr, "invariant broken: %s\n", invariant.c_str());
    std::abort();
}

class Session;

// Passes a window's events on to frmMain, keeping the stack of handlers running.
class Tracker final : public EventSink {
public:
    Tracker(Session& session, EventSink& inner) : session_(session), inner_(inner) {}
    void OnControlEvent(const ControlDescription& control, ControlEvent event) override;
    const HeadlessWindow* window = nullptr;

private:
    Session& session_;
    EventSink& inner_;
};

class TrackingToolkit final : public Toolkit {
public:
    explicit TrackingToolkit(Session& session) : session_(session) {}
    std::unique_ptr<LoadedWindow> Load(const FormDescription& form, EventSink& events) override {
        trackers_.push_back(std::make_unique<Tracker>(session_, events));
        auto window = headless.Load(form, *trackers_.back());
        trackers_.back()->window = headless.last;
        return window;
    }
    HeadlessToolkit headless;

private:
    Session& session_;
    std::vector<std::unique_ptr<Tracker>> trackers_;  // outlive every window of the run
};

// The user's file system: each test and creation succeeds or fails as the input says.
class FuzzedFiles final : public FileSystem {
public:
    explicit FuzzedFiles(FuzzedDataProvider& in) : in_(in) {}
    bool Exists(const std::string&) override { return in_.ConsumeBool(); }
    void MakeDirectory(const std::string&) override {
        if (in_.ConsumeBool()) throw Failure(76, "Path not found");
    }
    void CheckCanCreateFiles(const std::string&) override {
        if (in_.ConsumeBool()) throw Failure(70, "Permission denied");
    }

private:
    FuzzedDataProvider& in_;
};

class Session {
public:
    Session(FuzzedDataProvider& in, char decimal)
        : in_(in), numbers_(decimal, decimal == '.' ? ',' : '.'), files_(in), factory_(host_, numbers_),
          platform_{clock_, files_, numbers_}, toolkit_(*this), form_(factory_, platform_, toolkit_) {
        const int documents = in_.ConsumeIntegralInRange(0, 3);
        for (int i = 0; i < documents; ++i) host_.AddDocument(in_.ConsumeRandomLengthString(8));
        host_.onCall = [this](const sim::CallRecord& call) { OnHostCall(call); };
        toolkit_.headless.onModal = [this](HeadlessWindow& window) { RunModal(window); };
    }

    void Run() {
        for (int showing = 0; showing < 3 && in_.remaining_bytes() > 0; ++showing) ShowAsTheHostDoes();
    }

    struct Running {
        const HeadlessWindow* window;
        bool tick;
    };
    std::vector<Running> handlers;
    sim::SimHost& Host() { return host_; }
    frmMain& Form() { return form_; }

private:
    // Bounds that keep one input quick: user actions, nested host pumps, timer ticks.
    static constexpr int kSteps = 160;
    static constexpr int kDepth = 4;
    static constexpr int kTicks = 64;

    // DoModal: the plug-in's method catches whatever showing fails with.
    void ShowAsTheHostDoes() {
        try {
            form_.Show();
        } catch (const std::exception&) {
        }
    }

    // The user's session in one showing, until it closes or the input ends.
    void RunModal(HeadlessWindow& window) {
        modal_.push_back(&window);
        while (!window.IsClosed() && in_.remaining_bytes() > 0 && steps_ < kSteps) Act();
        modal_.pop_back();
    }

    // One action of the user in the innermost showing, or the host showing the window again.
    void Act() {
        ++steps_;
        HeadlessWindow& w = *modal_.back();
        const int action = in_.ConsumeIntegralInRange(0, 15);
        if (action == 15) return ShowAsTheHostDoes();
        if (w.IsClosed()) return;
        try {
            switch (action) {
            case 0: w.Click("optOptions", in_.ConsumeIntegralInRange<int16_t>(0, 2)); break;
            case 1: w.Click("cmdExit"); break;
            case 2: w.Click("cmdStart"); break;
            case 3: w.Click("cmdQuit"); break;
            case 4: w.Click("chkNoSet"); break;
            case 5: w.Click("cmdBinMove", in_.ConsumeBool() ? 0 : 3); break;
            case 6: w.Click("cmdSet"); break;
            case 7: w.Click("cmdCreate"); break;
            case 8: {
                const char* list = in_.ConsumeBool() ? "lstImagesBin" : "lstSelectedBin";
                const int16_t count = w.Find(list).GetListCount();
                w.Select(list, in_.ConsumeIntegralInRange<int16_t>(-1, static_cast<int16_t>(count - 1)));
                w.DoubleClick(list);
                break;
            }
            case 9: {
                static const char* const kTexts[] = {"txtKey", "txtKeyValue", "txtPath", "txtObject"};
                w.Type(kTexts[in_.ConsumeIntegralInRange(0, 3)], in_.ConsumeRandomLengthString(24));
                break;
            }
            case 10: w.Select("cmbType", in_.ConsumeIntegralInRange<int16_t>(-1, 2)); break;
            case 11: {
                // A user action may wait for the last tick's event pump.
                const int ticks = in_.ConsumeIntegralInRange(1, 8);
                if (in_.ConsumeBool()) w.pendingEvents.push_back([this](HeadlessWindow&) { ActInsideTheCall(); });
                for (int i = 0; i < ticks && !w.IsClosed() && ticks_ < kTicks; ++i, ++ticks_) w.Tick();
                break;
            }
            case 12:
                // Minutes of ticks that each only count down and show the temperature pass at once:
                // the next tick may end a phase (or find a countdown at its 16-bit end).
                form_.TimeLeft = in_.PickValueInArray<int16_t>({1, 2, 0, -32768, 600});
                break;
            case 13: w.CloseBox(); break;
            case 14: host_.camera.pinnedTemperature = Temperature(); break;
            }
        } catch (...) {
            Broken("an exception left a handler");
        }
    }

    double Temperature() {
        static const double kOdd[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity(), 1e300, -1e300, 1e200, 40000, -32769,
                                      -32768.04, 32767.96, -0.04, std::numeric_limits<double>::max(), 5e-324};
        if (in_.ConsumeBool()) return kOdd[in_.ConsumeIntegralInRange<size_t>(0, std::size(kOdd) - 1)];
        return in_.ConsumeFloatingPointInRange(-200.0, 200.0);
    }

    sim::Value Unexpected() {
        using sim::Value;
        switch (in_.ConsumeIntegralInRange(0, 9)) {
        case 0: return Value{};
        case 1: return Value::Null();
        case 2: return Value::Error(in_.ConsumeIntegral<int32_t>());
        case 3: return Value::Bool(in_.ConsumeBool());
        case 4: return Value::I2(in_.ConsumeIntegral<int16_t>());
        case 5: return Value::I4(in_.ConsumeIntegral<int32_t>());
        case 6: return Value::R8(Temperature());
        case 7: return Value::Bstr(in_.ConsumeRandomLengthString(24));
        case 8: {
            // A number as text, in either locale's way of writing it.
            std::string text = std::to_string(in_.ConsumeFloatingPointInRange(-100.0, 100.0));
            if (in_.ConsumeBool())
                for (char& c : text)
                    if (c == '.') c = ',';
            return Value::Bstr(text);
        }
        default: return Value::Object(in_.ConsumeIntegralInRange(Value::kNothing, 4));
        }
    }

    void OnHostCall(const sim::CallRecord& call) {
        if (!handlers.empty() && handlers.back().window->IsClosed())
            Broken("host call after close: " + call.ToString());
        const bool camera = call.object == "Camera";
        if (camera && call.member == "Setpoint" && call.kind == sim::CallKind::Put) CheckSetpoint(call);
        const bool answered = in_.remaining_bytes() > 0 && Decide(call);
        // The reading this call gives, once whatever ran inside it has run.
        if (camera && call.member == "SensorTemperature" && !answered)
            lastTemperature_ = host_.camera.pinnedTemperature.value_or(host_.camera.temperature);
    }

    // The host's way with this call: its own answer, a failure, a change of its documents, an
    // unexpected answer, or a user action it lets run inside the call. True when it answers.
    bool Decide(const sim::CallRecord& call) {
        switch (in_.ConsumeIntegralInRange(0, 15)) {
        case 8:
            host_.FailOn("", in_.PickValueInArray({429, 1001, -2147221503, 0}), in_.ConsumeRandomLengthString(16));
            return false;
        case 9:
        case 10:
        case 11: return Answer(call, Unexpected());
        case 12:
        case 13: ActInsideTheCall(); return false;
        case 14:
            if (in_.ConsumeBool()) host_.AddDocument(in_.ConsumeRandomLengthString(8));
            else if (!host_.documents.empty()) host_.documents.pop_back();
            return false;
        case 15:
            ActInsideTheCall();
            return Answer(call, Unexpected());
        default: return false;
        }
    }

    // A real host lets window messages run while it works; so does a tick.
    void ActInsideTheCall() {
        if (depth_ >= kDepth || modal_.empty() || steps_ >= kSteps) return;
        ++depth_;
        Act();
        --depth_;
    }

    bool Answer(const sim::CallRecord& call, sim::Value value) {
        if (call.object == "Camera" && call.member == "SensorTemperature") {
            lastTemperature_ = std::numeric_limits<double>::quiet_NaN();
            try {
                lastTemperature_ = sim::AnswerAsDouble(value, numbers_);
            } catch (const Failure&) {
            }
        }
        host_.AnswerOn("", std::move(value));
        return true;
    }

    void CheckSetpoint(const sim::CallRecord& call) {
        const sim::Value& value = call.args.at(0);
        if (value.type == sim::VarType::I2) {
            if (value.number != -50) Broken("start set-point " + value.ToString());
            return;
        }
        if (!std::isfinite(lastTemperature_)) {
            std::string tail;
            for (std::size_t i = host_.calls.size() > 12 ? host_.calls.size() - 12 : 0; i < host_.calls.size(); ++i)
                tail += "\n  " + host_.calls[i].ToString();
            Broken("set-point written after reading " + std::to_string(lastTemperature_) + tail);
        }
        const double n = std::nearbyint(value.number / 0.89);
        if (!(n >= -32768 && n <= 32767 && n * 0.89 == value.number)) Broken("set-point " + value.ToString());
    }

    FuzzedDataProvider& in_;
    sim::SimHost host_;
    FixedClock clock_;
    PortableNumberText numbers_;
    FuzzedFiles files_;
    sim::SimHostFactory factory_;
    Platform platform_;
    TrackingToolkit toolkit_;
    frmMain form_;
    std::vector<HeadlessWindow*> modal_;
    int steps_ = 0;
    int depth_ = 0;
    int ticks_ = 0;
    double lastTemperature_ = 0;
};

// A tick delivered while a tick of the same showing runs must be dropped: no host call and no
// change of the countdown.
void Tracker::OnControlEvent(const ControlDescription& control, ControlEvent event) {
    const bool tick = event == ControlEvent::Timer;
    bool insideTick = false;
    for (const Session::Running& running : session_.handlers)
        insideTick = insideTick || (tick && running.tick && running.window == window);
    const std::size_t calls = session_.Host().calls.size();
    const int16_t timeLeft = session_.Form().TimeLeft;
    session_.handlers.push_back({window, tick});
    inner_.OnControlEvent(control, event);
    session_.handlers.pop_back();
    if (insideTick && (session_.Host().calls.size() != calls || session_.Form().TimeLeft != timeLeft))
        Broken("a tick ran inside a tick");
}

}  // namespace
}  // namespace starwright

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    starwright::Session session(in, in.ConsumeBool() ? ',' : '.');
    session.Run();
    return 0;
}
