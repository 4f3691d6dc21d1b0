#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/watched_window.h"
#include "tests/window_fixture.h"

namespace starwright {
namespace {

// One showing of the window on the "Handy Start" tool, over a simulated camera whose clock
// moves one second per delivered tick.
class Cooldown {
public:
    explicit Cooldown(char decimalSeparator = '.')
        : fixture_({.hostClock = &clock, .decimalSeparator = decimalSeparator, .toolkit = &toolkit_}) {
        form.Load();
        Ui().Click("optOptions", 1);
    }

    HeadlessWindow& Ui() { return *toolkit_.headless.last; }
    WatchedWindow& Watched() { return *toolkit_.last; }
    std::string Caption(std::string_view name) { return form.Find(name).GetCaption(); }
    std::vector<std::string> Log() {
        Control& log = form.Find("lstLog");
        EXPECT_EQ(log.GetListIndex(), log.GetListCount() - 1) << "the newest line is selected";
        return fixture_.Entries("lstLog");
    }
    void Start() { Ui().Click("cmdStart"); }
    // Delivers `count` ticks, a second apart, stopping early once the window has closed.
    void Ticks(int count) {
        for (int i = 0; i < count && form.IsLoaded(); ++i) {
            clock.Advance(1);
            Ui().Tick();
        }
    }
    // The calls recorded from position `from` on.
    std::vector<std::string> CallsFrom(std::size_t from) {
        auto texts = host.CallTexts();
        return {texts.begin() + static_cast<std::ptrdiff_t>(std::min(from, texts.size())), texts.end()};
    }

    sim::ManualClock clock;

private:
    WatchedToolkit toolkit_;
    WindowFixture fixture_;

public:
    sim::SimHost& host = fixture_.host;
    frmMain& form = fixture_.form;
};

const std::vector<std::string> kStartCalls = {
    "create Camera",
    "Camera.PreLinkFlag put Bool True",
    "Camera.Connected put Bool True",
    "Camera.Connected get",
    "Camera.SignalRun call Bool False",
    "Camera.PreLinkFlag put Bool True",
    "Camera.CoolerEnabled put Bool True",
    "Camera.SetpointAllowed get",
    "Camera.Setpoint put I2 -50",
};

TEST(Cooldown, CompleteRunCallsLabelsAndLog) {
    Cooldown c;
    c.Start();
    EXPECT_EQ(c.host.CallTexts(), kStartCalls);
    EXPECT_EQ(c.Caption("lblTime"), "600");
    EXPECT_EQ(c.Caption("lblSetTemp"), "-50");
    EXPECT_EQ(c.Caption("lblTemp"), "0");
    EXPECT_FALSE(c.form.Find("cmdStart").GetEnabled());
    EXPECT_TRUE(c.form.Find("Timer1").GetEnabled());

    struct Seen { int tick; const char* time; const char* temperature; };
    // The simulated night is 15 C and the cooler holds 40 C below it: -50 is out of reach, the
    // sensor is near -24.7 after ten minutes, and the new set-point -21.36 is held.
    const Seen seen[] = {{1, "599", "14.7"}, {599, "1", "-24.7"}, {600, "120", "-24.7"},
                         {601, "119", "-24.4"}, {719, "1", "-21.4"}};
    int tick = 0;
    for (const Seen& s : seen) {
        const std::size_t before = c.host.calls.size();
        const int delivered = s.tick - tick;
        c.Ticks(delivered);
        tick = s.tick;
        EXPECT_EQ(c.Caption("lblTime"), s.time) << "tick " << tick;
        EXPECT_EQ(c.Caption("lblTemp"), s.temperature) << "tick " << tick;
        if (tick == 600) {
            EXPECT_EQ(c.CallsFrom(before), (std::vector<std::string>{
                "Camera.SensorTemperature get", "Camera.Setpoint put R8 -21.36", "Camera.Setpoint get",
                "Camera.SensorTemperature get"}));
        } else {
            EXPECT_EQ(c.CallsFrom(before), std::vector<std::string>(delivered, "Camera.SensorTemperature get"));
        }
    }
    EXPECT_EQ(c.Caption("lblSetTemp"), "-21.36");
    EXPECT_EQ(c.Ui().doEventsCount, 719);

    const std::size_t before = c.host.calls.size();
    c.Ticks(1);
    EXPECT_FALSE(c.form.IsLoaded());
    EXPECT_EQ(c.CallsFrom(before), std::vector<std::string>{"Camera.SignalRun call Bool True"});
    EXPECT_EQ(c.Watched().messageAtClose, "Done");
    EXPECT_EQ(c.Watched().logAtClose, (std::vector<std::string>{"CCD Connected", "Cooler Turned On",
                                                                "Temperature set to -50", "Temperature set to -21.36"}));
    EXPECT_EQ(c.Watched().usesAfterClose, 0);
    EXPECT_EQ(c.host.camera.temperature, c.host.camera.setpoint);
    EXPECT_LT(c.host.camera.cooler.ambient - c.host.camera.setpoint, c.host.camera.cooler.maxDelta);
}

// The phase change in both kinds of locale: the integer part is found the same way whatever
// the decimal separator, and only the displayed text follows it.
TEST(Cooldown, NewSetpointInEitherLocale) {
    struct Case { double temperature; int16_t n; const char* point; const char* comma; };
    const Case cases[] = {
        {-12.34, -12, "-10.68", "-10,68"}, {-35.0, -35, "-31.15", "-31,15"}, {-0.4, 0, "0", "0"},
        {-12.96, -13, "-11.57", "-11,57"}, {5.96, 6, "5.34", "5,34"},       {-12.95, -13, "-11.57", "-11,57"},
        {-0.04, 0, "0", "0"},              {-32768.0, -32768, "-29163.52", "-29163,52"},
    };
    for (const char separator : {'.', ','}) {
        for (const Case& k : cases) {
            SCOPED_TRACE(std::string("separator ") + separator + ", temperature " + std::to_string(k.temperature));
            Cooldown c(separator);
            c.host.camera.pinnedTemperature = k.temperature;
            c.Start();
            c.Ticks(600);
            const std::string shown = separator == '.' ? k.point : k.comma;
            // Bit for bit the product of the integer part and the double nearest 0.89.
            EXPECT_EQ(c.host.camera.setpoint, static_cast<double>(k.n) * 0.89);
            EXPECT_EQ(c.Caption("lblSetTemp"), shown);
            EXPECT_EQ(c.Log().back(), "Temperature set to " + shown);
            EXPECT_EQ(c.Caption("lblTime"), "120");
            EXPECT_EQ(c.Caption("txtMessage2"), "None");
            c.Ticks(120);
            EXPECT_FALSE(c.form.IsLoaded());
            EXPECT_EQ(c.Watched().messageAtClose, "Done");
        }
    }
}

TEST(Cooldown, TemperatureShownWithUsersSeparator) {
    Cooldown c(',');
    c.host.camera.pinnedTemperature = -12.34;
    c.Start();
    c.Ticks(1);
    EXPECT_EQ(c.Caption("lblTemp"), "-12,3");
}

TEST(Cooldown, IntegerPartOutside16BitsHaltsWithOverflow) {
    for (const double temperature : {40000.0, -32769.0, 1e200}) {
        Cooldown c;
        c.host.camera.pinnedTemperature = temperature;
        c.Start();
        c.Ticks(600);
        EXPECT_TRUE(c.form.IsLoaded());
        EXPECT_EQ(c.Caption("txtMessage2"), "Overflow");
        EXPECT_EQ(c.Caption("lblTime"), "1");
        EXPECT_FALSE(c.form.Find("Timer1").GetEnabled());
        EXPECT_FALSE(c.form.Find("cmdStart").GetEnabled());
        EXPECT_EQ(c.host.camera.setpoint, -50);
        EXPECT_EQ(c.host.CallTexts().back(), "Camera.SignalRun call Bool True");
    }
}

// chkNoSet counts only on the tick that ends the first phase.
TEST(Cooldown, DoNotSetIsReadOnlyAtThePhaseChange) {
    struct Case { const char* name; std::vector<int> toggleAfterTick; bool endsAt600; };
    const Case cases[] = {
        {"ticked before the start", {0}, true},
        {"ticked while cooling", {300}, true},
        {"ticked and cleared while cooling", {100, 200}, false},
        {"ticked only while settling", {650}, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Cooldown c;
        if (k.toggleAfterTick.front() == 0) c.Ui().Click("chkNoSet");
        c.Start();
        for (int tick = 1; tick <= 720 && c.form.IsLoaded(); ++tick) {
            const std::size_t before = c.host.calls.size();
            c.Ticks(1);
            if (tick == 600 && k.endsAt600) {
                EXPECT_EQ(c.CallsFrom(before), std::vector<std::string>{"Camera.SignalRun call Bool True"});
            }
            for (int t : k.toggleAfterTick)
                if (t == tick) c.Ui().Click("chkNoSet");
        }
        EXPECT_FALSE(c.form.IsLoaded());
        EXPECT_EQ(c.Watched().messageAtClose, "Done");
        EXPECT_EQ(c.Watched().logAtClose.size(), k.endsAt600 ? 3u : 4u);
        EXPECT_EQ(c.host.camera.setpoint == -50, k.endsAt600);
        EXPECT_EQ(c.host.CallTexts("Camera.SignalRun call Bool True").size(), 1u);
    }
}

TEST(Cooldown, RefusedLinkShowsOnlyItsMessage) {
    Cooldown c;
    c.host.camera.refuseLink = true;
    c.Start();
    EXPECT_EQ(c.Caption("txtMessage2"), "Failed to start camera.");
    EXPECT_TRUE(c.Log().empty());
    EXPECT_TRUE(c.host.CallTexts("Camera.SignalRun").empty());
    EXPECT_TRUE(c.form.Find("cmdStart").GetEnabled());
    EXPECT_FALSE(c.form.Find("Timer1").GetEnabled());
    EXPECT_EQ(c.Caption("lblTime"), "0");
}

TEST(Cooldown, SetpointNotAllowedEndsTheStartWithCoolerOn) {
    Cooldown c;
    c.host.camera.setpointAllowed = false;
    c.Start();
    EXPECT_EQ(c.Caption("txtMessage2"), "This CCD does not allow the temperature to be set.");
    EXPECT_EQ(c.Log(), (std::vector<std::string>{"CCD Connected", "Cooler Turned On"}));
    EXPECT_EQ(c.host.CallTexts().back(), "Camera.SignalRun call Bool True");
    EXPECT_TRUE(c.host.camera.coolerOn);
    EXPECT_TRUE(c.form.Find("cmdStart").GetEnabled());
    EXPECT_FALSE(c.form.Find("Timer1").GetEnabled());
}

TEST(Cooldown, EndBeforeAnyStartSignalsAndCloses) {
    Cooldown c;
    c.Ui().Click("cmdQuit");
    EXPECT_FALSE(c.form.IsLoaded());
    EXPECT_EQ(c.host.CallTexts(), (std::vector<std::string>{"create Camera", "Camera.SignalRun call Bool True"}));
    EXPECT_EQ(c.Watched().messageAtClose, "Done");
}

TEST(Cooldown, ExitDuringARunIsSilent) {
    Cooldown c;
    c.Start();
    c.Ticks(10);
    const std::size_t before = c.host.calls.size();
    c.Ui().Click("cmdExit");
    EXPECT_FALSE(c.form.IsLoaded());
    EXPECT_TRUE(c.CallsFrom(before).empty());
    EXPECT_EQ(c.Watched().messageAtClose, "None");
}

TEST(Cooldown, StartTrapStopsShowsAndSignals) {
    struct Case { const char* operation; int nth; std::size_t logLines; };
    const Case cases[] = {
        {"create Camera", 1, 0},
        {"Camera.PreLinkFlag put", 1, 0},
        {"Camera.Connected put", 1, 0},
        {"Camera.Connected get", 1, 0},
        {"Camera.SignalRun call Bool False", 1, 0},
        {"Camera.PreLinkFlag put", 2, 1},
        {"Camera.CoolerEnabled put", 1, 1},
        {"Camera.SetpointAllowed get", 1, 2},
        {"Camera.Setpoint put", 1, 2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.operation) + " #" + std::to_string(k.nth));
        Cooldown c;
        c.host.FailOn(k.operation, 1234, "Camera busy", k.nth);
        c.Start();
        EXPECT_EQ(c.Caption("txtMessage2"), "Camera busy");
        EXPECT_EQ(c.Log().size(), k.logLines);
        EXPECT_EQ(c.host.CallTexts().back(), "Camera.SignalRun call Bool True");
        EXPECT_TRUE(c.form.Find("cmdStart").GetEnabled());
        EXPECT_FALSE(c.form.Find("Timer1").GetEnabled());
        EXPECT_EQ(c.Caption("lblTime"), "0");
    }
}

TEST(Cooldown, TickTrapHaltsTheRun) {
    struct Case { int tick; const char* operation; int nth; const char* time; };
    const Case cases[] = {
        {1, "Camera.SensorTemperature get", 1, "599"},
        {600, "Camera.SensorTemperature get", 1, "1"},
        {600, "Camera.Setpoint put", 1, "1"},
        {600, "Camera.Setpoint get", 1, "1"},
        {600, "Camera.SensorTemperature get", 2, "120"},
        {601, "Camera.SensorTemperature get", 1, "119"},
        {720, "Camera.SignalRun call Bool True", 1, "1"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.operation) + " on tick " + std::to_string(k.tick));
        Cooldown c;
        c.Start();
        c.Ticks(k.tick - 1);
        c.host.FailOn(k.operation, 99, "Sensor read timed out", k.nth);
        c.Ticks(1);
        EXPECT_TRUE(c.form.IsLoaded());
        EXPECT_EQ(c.Caption("txtMessage2"), "Sensor read timed out");
        EXPECT_EQ(c.Caption("lblTime"), k.time);
        EXPECT_FALSE(c.form.Find("Timer1").GetEnabled());
        EXPECT_FALSE(c.form.Find("cmdStart").GetEnabled());
        EXPECT_EQ(c.host.CallTexts().back(), "Camera.SignalRun call Bool True");
        EXPECT_FALSE(c.form.TickRunning());
        // Halted: further ticks of the stopped timer change nothing; only "&End" is left.
        const std::size_t before = c.host.calls.size();
        c.Ticks(5);
        EXPECT_EQ(c.host.calls.size(), before);
        c.Ui().Click("cmdQuit");
        EXPECT_FALSE(c.form.IsLoaded());
    }
}

// "&End" or "Exit" waiting while a tick lets events run: the window closes inside the tick,
// and the tick then leaves without another touch of the window or the camera.
TEST(Cooldown, CloseInsideTheTicksEventPump) {
    struct Case { const char* button; std::vector<std::string> callsAfterTemperature; };
    const Case cases[] = {{"cmdQuit", {"Camera.SignalRun call Bool True"}}, {"cmdExit", {}}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.button);
        Cooldown c;
        c.Start();
        c.Ticks(4);
        const std::string button = k.button;
        c.Ui().pendingEvents.push_back([button](HeadlessWindow& w) { w.Click(button); });
        const std::size_t before = c.host.calls.size();
        c.Ticks(1);
        EXPECT_FALSE(c.form.IsLoaded());
        std::vector<std::string> expected{"Camera.SensorTemperature get"};
        expected.insert(expected.end(), k.callsAfterTemperature.begin(), k.callsAfterTemperature.end());
        EXPECT_EQ(c.CallsFrom(before), expected);
        EXPECT_EQ(c.Watched().usesAfterClose, 0);
        EXPECT_FALSE(c.form.TickRunning());
        EXPECT_TRUE(c.Ui().messages.empty());
    }
}

TEST(Cooldown, TickArrivingInsideATickIsSkipped) {
    Cooldown c;
    c.Start();
    c.Ui().pendingEvents.push_back([&c](HeadlessWindow& w) {
        c.clock.Advance(1);
        w.Tick();
    });
    c.Ticks(1);
    EXPECT_EQ(c.Caption("lblTime"), "599");
    EXPECT_EQ(c.host.CallTexts("Camera.SensorTemperature").size(), 1u);
    EXPECT_FALSE(c.form.TickRunning());
    c.Ticks(1);
    EXPECT_EQ(c.Caption("lblTime"), "598");
}

// What the procedure itself leaves unhandled reaches the window's barrier: a message box, and
// the window stays open.
TEST(Cooldown, FailureInsideTrapOrEndIsShownInAMessageBox) {
    struct Case { const char* name; const char* firstFault; int ticks; const char* click; };
    const Case cases[] = {
        {"start trap", "Camera.CoolerEnabled put", 0, nullptr},
        {"tick trap", "Camera.SensorTemperature get", 3, nullptr},
        {"end", nullptr, 3, "cmdQuit"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Cooldown c;
        if (k.ticks) c.Start();
        if (k.firstFault) c.host.FailOn(k.firstFault, 1, "First failure");
        c.host.FailOn("Camera.SignalRun call Bool True", 1, "Camera driver stopped responding");
        if (k.ticks) c.Ticks(k.ticks);
        else c.Start();
        if (k.click) c.Ui().Click(k.click);
        EXPECT_TRUE(c.form.IsLoaded());
        EXPECT_EQ(c.Ui().messages, std::vector<std::string>{"Camera driver stopped responding"});
        EXPECT_FALSE(c.form.Find("Timer1").GetEnabled());
        EXPECT_FALSE(c.form.TickRunning());
        if (k.firstFault) {
            EXPECT_EQ(c.Caption("txtMessage2"), "First failure");
        }
    }
}

}  // namespace
}  // namespace starwright
