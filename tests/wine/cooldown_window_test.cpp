// The cool-down through the real window: frmMain on the Win32 toolkit over the simulated
// camera, with oleaut32's number texts in the user's locale. Timer ticks are delivered as the
// system timer delivers them (WM_TIMER with Timer1's id), so twelve minutes pass at once.
// Run once per locale; the first argument names it ("en" or "de").

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "host/sim/sim_host.h"
#include "platform/portable_platform.h"
#include "platform/windows_platform.h"
#include "tests/wine/test_main.h"
#include "tests/wine/window_fixture.h"

namespace starwright {
namespace {

namespace d = driver;

class CooldownWindowTest : public ::testing::Test {
protected:
    // Shows the window modally and runs `body` from inside its modal loop, as one step: the
    // ticks' own event pumps would otherwise run later steps early.
    void ShowAndRun(std::function<void()> body) {
        d::Script script;
        script.Then(std::move(body));
        ShowWith(form, script);
        EXPECT_EQ(d::FindForm(), nullptr);
    }
    void Tick() {
        clock.Advance(1);
        d::Tick();
    }
    std::vector<std::string> CallsSince(std::size_t from) {
        auto texts = host.CallTexts();
        return {texts.begin() + static_cast<std::ptrdiff_t>(from), texts.end()};
    }

    sim::ManualClock clock;
    sim::SimHost host{&clock};
    sim::SimHostFactory factory{host};
    FixedClock wallClock;
    PortableFileSystem files{std::filesystem::temp_directory_path() / "starwright-cooldown-test"};
    WindowsNumberText numbers;
    Platform platform{wallClock, files, numbers};
    Win32Toolkit toolkit;
    frmMain form{factory, platform, toolkit};
};

TEST_F(CooldownWindowTest, CompleteRunInTheUsersLocale) {
    host.camera.pinnedTemperature = -12.34;
    ShowAndRun([this] {
        d::Click("optOptions", 1);
        ASSERT_TRUE(d::Click("cmdStart"));
        EXPECT_EQ(d::Text("lblTime"), "600");
        EXPECT_EQ(d::Text("lblSetTemp"), "-50");
        EXPECT_FALSE(d::IsEnabled("cmdStart"));
        Tick();
        EXPECT_EQ(d::Text("lblTime"), "599");
        EXPECT_EQ(d::Text("lblTemp"), Localised("-12.3"));
        for (int tick = 2; tick <= 599; ++tick) Tick();
        EXPECT_EQ(d::Text("lblTime"), "1");
        Tick();
        EXPECT_EQ(d::Text("lblTime"), "120");
        EXPECT_EQ(d::Text("lblSetTemp"), Localised("-10.68"));
        const std::vector<std::string> log = {"CCD Connected", "Cooler Turned On", "Temperature set to -50",
                                              "Temperature set to " + Localised("-10.68")};
        EXPECT_EQ(d::ListEntries("lstLog"), log);
        EXPECT_EQ(d::ListIndex("lstLog"), 3);
        for (int tick = 601; tick <= 719; ++tick) Tick();
        EXPECT_EQ(d::Text("lblTime"), "1");
        EXPECT_EQ(d::Text("txtMessage2"), "None");
        Tick();
    });
    EXPECT_EQ(host.camera.setpoint, -12 * 0.89);
    EXPECT_EQ(host.CallTexts().back(), "Camera.SignalRun call Bool True");
    // One reading per display tick, and one more for the new set-point.
    EXPECT_EQ(host.CallTexts("Camera.SensorTemperature").size(), 720u);
}

// "&End" waiting in the queue when a tick lets events run closes the window inside the tick;
// the tick then makes no further call, and the modal loop ends.
TEST_F(CooldownWindowTest, EndDuringATicksEventPump) {
    std::size_t before = 0;
    ShowAndRun([this, &before] {
        d::Click("optOptions", 1);
        d::Click("cmdStart");
        for (int tick = 1; tick <= 5; ++tick) Tick();
        before = host.calls.size();
        PostMessageW(d::Control("cmdQuit"), BM_CLICK, 0, 0);
        Tick();
    });
    EXPECT_EQ(CallsSince(before),
              (std::vector<std::string>{"Camera.SensorTemperature get", "Camera.SignalRun call Bool True"}));
    EXPECT_FALSE(form.TickRunning());
}

// A timer message waiting when a tick lets events run is not a second, nested tick.
TEST_F(CooldownWindowTest, TickInsideATickIsSkipped) {
    ShowAndRun([this] {
        d::Click("optOptions", 1);
        d::Click("cmdStart");
        PostMessageW(d::FindForm(), WM_TIMER, kTimer1Id, 0);
        Tick();
        EXPECT_EQ(d::Text("lblTime"), "599");
        Tick();
        EXPECT_EQ(d::Text("lblTime"), "598");
        d::Click("cmdExit");
    });
    EXPECT_EQ(host.CallTexts("Camera.SensorTemperature").size(), 2u);
    EXPECT_TRUE(host.CallTexts("Camera.SignalRun call Bool True").empty());
}

// A reading oleaut32 cannot format (it ends the process near 1e300, and shows NaN as "0.0")
// halts the run with an overflow on a display tick, and never becomes a set-point at the
// phase change.
TEST_F(CooldownWindowTest, UnformattableReadingHaltsTheRun) {
    struct Case { double temperature; int ticks; const char* time; };
    const Case cases[] = {
        {1e300, 1, "599"}, {-1e300, 1, "599"}, {std::numeric_limits<double>::quiet_NaN(), 1, "599"},
        {std::numeric_limits<double>::infinity(), 600, "1"}, {std::numeric_limits<double>::quiet_NaN(), 600, "1"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.temperature) + " on tick " + std::to_string(k.ticks));
        ShowAndRun([&] {
            d::Click("optOptions", 1);
            d::Click("cmdStart");
            for (int tick = 1; tick < k.ticks; ++tick) Tick();
            host.camera.pinnedTemperature = k.temperature;
            Tick();
            EXPECT_EQ(d::Text("txtMessage2"), "Overflow");
            EXPECT_EQ(d::Text("lblTime"), k.time);
            d::Click("cmdQuit");
        });
        EXPECT_EQ(host.camera.setpoint, -50);
        host.camera.pinnedTemperature.reset();
    }
}

}  // namespace
}  // namespace starwright
