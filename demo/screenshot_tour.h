#pragma once
// The unattended tour that `make demo` runs without a display of its own. It drives the host
// window and the plug-in's tool window as a user would, from a thread timer that keeps running
// inside the plug-in's modal loop: makes the night's folder, runs a whole cool-down
// fast-forwarded on the simulated clock, writes a header keyword into every image, and saves
// a picture of each tool and of the host window after the run and after the keyword.

#include <windows.h>

#include <string>
#include <vector>

#include "demo/host_window.h"
#include "host/sim/sim_host.h"

namespace starwright::demo {

struct Tour {
    sim::SimHost& host;
    sim::ManualClock& clock;
    HostWindow& window;
    std::wstring folder;              // where the pictures go
    std::vector<std::wstring> shots;  // the pictures saved, in order
    std::vector<std::string> report;  // what the tour saw, for the console
    bool finished = false;
    std::string failure;              // why the tour stopped early, if it did
};

// Arms the thread timer that runs the tour; it ends by closing the host window.
void StartTour(Tour& tour);

// Saves a window's picture, frame included, as a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const std::wstring& path);

}  // namespace starwright::demo
