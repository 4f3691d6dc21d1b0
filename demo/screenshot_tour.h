#pragma once
// The unattended tour that `make demo` runs without a display of its own: it drives the
// plug-in's window from inside its modal loop, shows each tool, and saves a picture of each.

#include <windows.h>

#include <string>
#include <vector>

#include "host/sim/sim_host.h"

namespace starwright::demo {

struct Tour {
    sim::SimHost& host;
    sim::ManualClock& clock;
    std::wstring folder;              // where the pictures go
    std::vector<std::wstring> shots;  // the pictures saved, in order
    std::vector<std::string> report;  // what the tour saw, for the console
    bool finished = false;
    std::string failure;              // why the tour stopped early, if it did
};

// Arms a thread timer that drives the tool window step by step once DoModal has shown it.
void StartTour(Tour& tour);

// Saves a window's picture, frame included, as a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const std::wstring& path);

}  // namespace starwright::demo
