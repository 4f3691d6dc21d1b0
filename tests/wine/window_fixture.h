#pragma once
// frmMain on the Win32 toolkit, driven through its real controls by a script that works from
// inside the modal loop; and the window as the plug-in shows it inside the host: the simulated
// host's classes served as COM objects in this process, reached through the COM binding, with
// the Windows platform services.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/com/com_host.h"
#include "host/sim/com/sim_com_server.h"
#include "host/sim/sim_host.h"
#include "platform/portable_platform.h"
#include "platform/windows_platform.h"
#include "tests/wine/window_driver.h"
#include "window/frm_main.h"
#include "window/win32/win32_toolkit.h"

namespace starwright {

// Shows the window modally while the script runs, and fails the test for every problem the
// script met or a step it never reached.
inline void ShowWith(frmMain& form, driver::Script& script) {
    script.Start();
    form.Show();
    script.Stop();
    EXPECT_TRUE(script.Finished());
    for (const auto& problem : script.problems) ADD_FAILURE() << problem;
}

// A message box as the user saw it.
struct SeenMessageBox {
    std::string text, title;
    int buttons = 0;
};

// For Script::Until: reads the message box on screen into `seen` and presses its OK; false
// while there is none yet.
inline bool TakeMessageBox(SeenMessageBox& seen) {
    HWND box = driver::FindMessageBox();
    if (!box) return false;
    seen = {driver::MessageBoxText(box), driver::MessageBoxTitle(box), driver::MessageBoxButtons(box)};
    driver::PressOk(box);
    return true;
}

// The window over the simulated host called directly, with the portable platform services.
struct SimHostedWindow {
    sim::SimHost host;
    sim::SimHostFactory factory{host};
    FixedClock clock;
    PortableFileSystem files{std::filesystem::temp_directory_path() / "starwright-win32-test"};
    PortableNumberText numbers;
    Platform platform{clock, files, numbers};
    Win32Toolkit toolkit;
    frmMain form{factory, platform, toolkit};
};

class ComHostedWindowTest : public ::testing::Test {
protected:
    explicit ComHostedWindowTest(LocalDateTime now = {}) : clock(now) {}
    void SetUp() override { ASSERT_EQ(server.Register(), S_OK); }
    void ShowWith(driver::Script& script) { starwright::ShowWith(form, script); }

    sim::SimHost host;
    sim::SimComServer server{host};
    com::ComHostFactory factory;
    FixedClock clock;
    WindowsFileSystem files;
    WindowsNumberText numbers;
    Platform platform{clock, files, numbers};
    Win32Toolkit toolkit;
    frmMain form{factory, platform, toolkit};
};

}  // namespace starwright
