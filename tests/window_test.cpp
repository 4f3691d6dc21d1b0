#include <gtest/gtest.h>

#include "host/sim/sim_host.h"
#include "platform/portable_platform.h"
#include "window/frm_main.h"
#include "window/headless/headless_toolkit.h"

namespace starwright {
namespace {

TEST(Window, LoadsInInitialState) {
    sim::SimHost host;
    sim::SimHostFactory factory(host);
    FixedClock clock;
    PortableFileSystem files("/nonexistent");
    PortableNumberText numbers;
    Platform platform{clock, files, numbers};
    HeadlessToolkit toolkit;
    frmMain form(factory, platform, toolkit);
    form.Load();
    EXPECT_TRUE(form.Find("vHandyPath").GetVisible());
    EXPECT_FALSE(form.Find("vBin").GetVisible());
}

}  // namespace
}  // namespace starwright
