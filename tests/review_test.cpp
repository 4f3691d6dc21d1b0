#include <gtest/gtest.h>

#include "host/sim/sim_host.h"
#include "platform/portable_platform.h"
#include "window/frm_main.h"
#include "window/headless/headless_toolkit.h"

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

}  // namespace
}  // namespace starwright
