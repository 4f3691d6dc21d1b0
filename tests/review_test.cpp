#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "tests/window_fixture.h"

namespace starwright {
namespace {

// A cool-down tick lets pending events run. Once "&End" has closed the window in there, the
// host's windows are usable again, and the host may call DoModal before the tick has returned:
// the window is loaded afresh while the closed showing still has the tick on the stack. The
// closed showing must outlive that tick (the address sanitizer sees it otherwise).
TEST(Reentrancy, ShowingAgainInsideATickKeepsTheClosedShowingAliveUntilTheTickReturns) {
    sim::SimHost host;
    sim::SimHostFactory factory{host};
    FixedClock clock;
    PortableFileSystem files{"/nonexistent"};
    PortableNumberText numbers;
    Platform platform{clock, files, numbers};
    HeadlessToolkit toolkit;
    frmMain form{factory, platform, toolkit};

    int showings = 0;
    toolkit.onModal = [&](HeadlessWindow& window) {
        if (++showings > 1) return;  // the nested showing: the user closes it at once
        window.Click("optOptions", 1);
        window.Click("cmdStart");
        window.pendingEvents.push_back([&](HeadlessWindow& pending) {
            pending.Click("cmdQuit");
            form.Show();
        });
        window.Tick();
    };
    form.Show();

    EXPECT_EQ(showings, 2);
    EXPECT_EQ(toolkit.loads, 2);
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_EQ(host.CallTexts("Camera.SignalRun").back(), "Camera.SignalRun call Bool True");

    // The object stays usable for the next showing.
    toolkit.onModal = [](HeadlessWindow& window) { window.Click("cmdExit"); };
    form.Show();
    EXPECT_EQ(toolkit.loads, 3);
}

// The host opens the window again from inside a cool-down tick's event pump, after "Exit" has
// closed it there: the new showing's own cool-down ticks although the old tick has not
// returned yet.
TEST(Reentrancy, AWindowShownAgainInsideATickTicksOnItsOwn) {
    WindowFixture f;
    int showings = 0;
    std::string timeShown;
    f.toolkit.onModal = [&](HeadlessWindow& window) {
        if (++showings == 1) {
            window.Click("optOptions", 1);
            window.Click("cmdStart");
            window.pendingEvents.push_back([&](HeadlessWindow& pending) {
                pending.Click("cmdExit");
                f.form.Show();
            });
            window.Tick();
            return;
        }
        window.Click("optOptions", 1);
        window.Click("cmdStart");
        window.Tick();
        timeShown = f.form.Find("lblTime").GetCaption();
        window.Click("cmdExit");
    };
    f.form.Show();
    EXPECT_EQ(showings, 2);
    EXPECT_EQ(timeShown, "599");
}

// A showing that cannot be created (the system is out of window handles) fails the showing and
// leaves the object as it was: usable, never a null window underneath.
TEST(Reentrancy, AFailedLoadLeavesTheObjectUsable) {
    class FailingToolkit final : public Toolkit {
    public:
        std::unique_ptr<LoadedWindow> Load(const FormDescription& form, EventSink& events) override {
            if (fail) throw std::runtime_error("Out of window handles");
            return headless.Load(form, events);
        }
        HeadlessToolkit headless;
        bool fail = true;
    } toolkit;
    WindowFixture f({.toolkit = &toolkit});
    for (const bool shownBefore : {false, true}) {
        SCOPED_TRACE(shownBefore ? "after a showing" : "first showing");
        toolkit.fail = true;
        EXPECT_THROW(f.form.Show(), std::runtime_error);
        EXPECT_FALSE(f.form.IsLoaded());
        EXPECT_THROW(f.form.Find("lblTime"), std::logic_error);
        toolkit.fail = false;
        toolkit.headless.onModal = [](HeadlessWindow& window) { window.Click("cmdExit"); };
        f.form.Show();
        EXPECT_FALSE(f.form.IsLoaded());
    }
}

}  // namespace
}  // namespace starwright
