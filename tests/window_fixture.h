#pragma once
// frmMain over the simulated host and the portable platform, on the headless toolkit: what the
// native window tests and the benchmark start from. A test derives from it or holds one and
// sets only what it needs through WindowSetup.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/sim/sim_host.h"
#include "platform/portable_platform.h"
#include "window/frm_main.h"
#include "window/headless/headless_toolkit.h"

namespace starwright {

struct WindowSetup {
    sim::SimClock* hostClock = nullptr;            // moves the simulated camera; none keeps it still
    LocalDateTime now = {};                        // what the wall clock shows
    std::filesystem::path root = "/nonexistent";   // where "C:\..." paths lie
    char decimalSeparator = '.';                   // ',' swaps the thousands separator to '.'
    FileSystem* fileSystem = nullptr;              // used instead of `files`, e.g. to record calls
    Toolkit* toolkit = nullptr;                    // used instead of `toolkit`, e.g. to wrap it
};

struct WindowFixture {
    explicit WindowFixture(const WindowSetup& setup = {})
        : host(setup.hostClock),
          clock(setup.now),
          files(setup.root),
          numbers(setup.decimalSeparator, setup.decimalSeparator == '.' ? ',' : '.'),
          platform{clock, setup.fileSystem ? *setup.fileSystem : files, numbers},
          form(factory, platform, setup.toolkit ? *setup.toolkit : toolkit) {}

    // The window the headless toolkit loaded last.
    HeadlessWindow& Window() { return *toolkit.last; }
    // A list control's entries, top to bottom.
    std::vector<std::string> Entries(std::string_view list) {
        Control& control = form.Find(list);
        std::vector<std::string> entries;
        for (int16_t i = 0; i < control.GetListCount(); ++i) entries.push_back(control.GetListItem(i));
        return entries;
    }

    sim::SimHost host;
    sim::SimHostFactory factory{host, numbers};  // answers converted in the window's locale
    FixedClock clock;
    PortableFileSystem files;
    PortableNumberText numbers;
    Platform platform;
    HeadlessToolkit toolkit;
    frmMain form;
};

}  // namespace starwright
