#include "demo/screenshot_tour.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "demo/plug_in_window.h"
#include "platform/text_win.h"

namespace starwright::demo {

namespace {

// A whole run is twelve minutes; a few more ticks than that mean the run did not end.
constexpr int kMostTicks = 800;
constexpr int kTicksPerStep = 40;
// The cool-down's picture: a minute after the back-off, with the whole run in its log.
constexpr int kStartPictureTick = 660;

enum class Step { OpenForPath, MakeFolder, FolderMade, StartCooling, Cool, AfterRun, OpenForFits, WriteKeyword, ExitFits, AfterKeyword, Done };

struct Progress {
    Step step = Step::OpenForPath;
    int ticks = 0;
    std::string backOffText;  // the set-point the run backed off to, as typed into a form
};

Tour* activeTour = nullptr;
Progress progress;
UINT_PTR tourTimer = 0;

std::string Trimmed80(std::string card) {
    while (!card.empty() && card.back() == ' ') card.pop_back();
    return card;
}

std::string Celsius(double value) { return Degrees(value) + " \u00B0C"; }

std::string Clock(double minutes) {
    const int seconds = static_cast<int>(minutes * 60 + 0.5);
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d", seconds / 60, seconds % 60);
    return text;
}

void Picture(Tour& tour, HWND window, const wchar_t* name) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    const std::wstring path = tour.folder + L"\\" + name + L".bmp";
    if (!SaveWindowPicture(window, path)) throw std::runtime_error("could not save the picture " + ToUtf8(name));
    tour.shots.push_back(path);
}

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi;
}

void OpenPlugIn(Tour& tour) {
    tour.window.SelectImage(0);
    PostMessageW(tour.window.Window(), WM_COMMAND, HostWindow::kPlugIn, 0);
}

// The answer of the last temperature reading before the call at `before`.
double LastReadingBefore(const sim::SimHost& host, size_t before) {
    for (size_t i = before; i-- > 0;) {
        const sim::CallRecord& call = host.calls[i];
        if (call.object == "Camera" && call.member == "SensorTemperature" && call.answer) return call.answer->number;
    }
    return NAN;
}

// Notes the phase change when a tick has just made it: the reading it was based on and the set-points.
void NotePhaseChange(Tour& tour) {
    const auto& calls = tour.host.calls;
    for (size_t i = calls.size(); i-- > 0;) {
        const sim::CallRecord& call = calls[i];
        if (call.object != "Camera" || call.member != "Setpoint" || call.kind != sim::CallKind::Put || !call.answer) continue;
        if (call.args.empty() || call.args[0].type != sim::VarType::R8) return;
        const double backOff = call.args[0].number;
        char typed[32];
        std::snprintf(typed, sizeof typed, "%g", backOff);
        progress.backOffText = typed;
        tour.report.push_back("phase change after " + Clock(progress.ticks / 60.0) + ": sensor read " +
                              Celsius(LastReadingBefore(tour.host, i)) + ", set-point \u221250 \u00B0C backed off to " +
                              SetpointText(backOff) + " \u00B0C");
        return;
    }
}

// One step per timer callback, so that the windows paint between steps. False when the tour is over.
bool RunStep(Tour& tour) {
    // A message of the plug-in is read into the report and answered, as a user would.
    if (HWND box = PlugInWindow::FindMessage()) {
        tour.report.push_back("the plug-in said: \"" + ToUtf8(PlugInWindow::AnswerMessage(box)) + "\"");
        return true;
    }
    HWND tool = PlugInWindow::Find();
    switch (progress.step) {
    case Step::OpenForPath:
        tour.report.push_back("screen: " + std::to_string(ScreenDpi()) + " dpi");
        tour.report.push_back("camera before the run: sensor " + Celsius(tour.host.camera.temperature) + ", ambient " +
                              Celsius(tour.host.camera.cooler.ambient));
        OpenPlugIn(tour);
        progress.step = Step::MakeFolder;
        return true;
    case Step::MakeFolder: {
        if (!tool) return true;  // not shown yet
        PlugInWindow window(tool);
        window.Type(L"Image Name", L"M31");
        Picture(tour, tool, L"handy-path");
        // The tool says so in a message box and closes.
        window.PostClick(L"Create Path");
        progress.step = Step::FolderMade;
        return true;
    }
    case Step::FolderMade: {
        const std::string& name = tour.host.camera.autoSaveName;
        if (tool || name.empty()) return true;
        tour.report.push_back("folder made: " + name.substr(0, name.find_last_of('\\') + 1) + " (auto-save name \"" +
                              name.substr(name.find_last_of('\\') + 1) + "\", numbering from " +
                              std::to_string(tour.host.camera.autoSaveStart) + ")");
        OpenPlugIn(tour);
        progress.step = Step::StartCooling;
        return true;
    }
    case Step::StartCooling: {
        if (!tool) return true;
        PlugInWindow window(tool);
        window.Click(L"Handy Start");
        window.Click(L"Start Now");
        window.StopOwnTicks();
        progress.step = Step::Cool;
        return true;
    }
    case Step::Cool:
        // The run, fast-forwarded: the simulated clock moves one second per tick.
        for (int i = 0; i < kTicksPerStep && tool; ++i) {
            const size_t marks = tour.window.Chart().Marks().size();
            tour.clock.Advance(1.0);
            PlugInWindow(tool).Tick();
            ++progress.ticks;
            tour.window.Poll();
            const auto& all = tour.window.Chart().Marks();
            for (size_t m = marks; m < all.size(); ++m)
                if (all[m].kind == MarkKind::BackOff) NotePhaseChange(tour);
            tool = PlugInWindow::Find();
            if (tool && progress.ticks == kStartPictureTick) {
                Picture(tour, tool, L"handy-start");
                break;
            }
        }
        if (tool && progress.ticks >= kMostTicks) throw std::runtime_error("the cool-down did not end");
        if (!tool) progress.step = Step::AfterRun;
        return true;
    case Step::AfterRun: {
        if (tool) return true;
        tour.window.Refresh();
        Picture(tour, tour.window.Window(), L"host-cooldown");
        const auto& samples = tour.window.Chart().Samples();
        const auto& marks = tour.window.Chart().Marks();
        if (samples.empty() || marks.empty()) throw std::runtime_error("the chart recorded nothing");
        const ChartSample& last = samples.back();
        tour.report.push_back("end of the run after " + Clock(marks.back().minutes) + " (\"" + marks.back().label +
                              "\"): sensor " + Celsius(last.sensor) + ", set-point " + SetpointText(last.setpoint) +
                              " \u00B0C, cooler power " + Signed(last.power, 0) + " %");
        if (progress.backOffText.empty()) throw std::runtime_error("the run never backed off");
        OpenPlugIn(tour);
        progress.step = Step::OpenForFits;
        return true;
    }
    case Step::OpenForFits: {
        if (!tool) return true;
        PlugInWindow window(tool);
        window.Click(L"Handy FITS");
        window.Click(L"All >>");
        window.Type(L"Key Name", L"SET-TEMP");
        window.Type(L"Value", ToWide(progress.backOffText));
        window.Click(L"Update Fits Header");
        progress.step = Step::WriteKeyword;
        return true;
    }
    case Step::WriteKeyword:
        if (!tool) throw std::runtime_error("the tool window closed after Update Fits Header");
        Picture(tour, tool, L"handy-fits");
        PlugInWindow(tool).Click(L"Exit");
        progress.step = Step::AfterKeyword;
        return true;
    case Step::AfterKeyword:
        if (tool) return true;
        tour.window.Refresh();
        tour.window.SelectImage(0);
        Picture(tour, tour.window.Window(), L"host-fits");
        for (const auto& document : tour.host.documents) {
            const auto card = document.header.Card("SET-TEMP");
            tour.report.push_back("keyword written into " + document.displayName + ": " +
                                  (card ? Trimmed80(*card) : std::string("(none)")));
        }
        tour.finished = true;
        progress.step = Step::Done;
        return false;
    default:
        return false;
    }
}

void CALLBACK OnTourTimer(HWND, UINT, UINT_PTR, DWORD) {
    Tour& tour = *activeTour;
    static bool running = false;
    // A step that waits in a modal loop (a message box of the plug-in) lets this timer in again.
    if (running) return;
    running = true;
    bool more = false;
    try {
        more = RunStep(tour);
    } catch (const std::exception& e) {
        tour.failure = e.what();
    } catch (...) {
        tour.failure = "unexpected failure";
    }
    running = false;
    if (more) return;
    KillTimer(nullptr, tourTimer);
    if (HWND tool = PlugInWindow::Find()) PostMessageW(tool, WM_CLOSE, 0, 0);
    PostMessageW(tour.window.Window(), WM_COMMAND, HostWindow::kExit, 0);
}

}  // namespace

void StartTour(Tour& tour) {
    activeTour = &tour;
    progress = Progress{};
    tour.window.SetQuiet(true);
    tour.window.StopRefreshTimer();
    tourTimer = SetTimer(nullptr, 0, 100, OnTourTimer);
}

bool SaveWindowPicture(HWND window, const std::wstring& path) {
    RECT r;
    if (!GetWindowRect(window, &r)) return false;
    const int width = r.right - r.left, height = r.bottom - r.top;
    // Allocated before any GDI object, so that nothing between acquiring and releasing them throws.
    const int stride = (width * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<size_t>(stride) * height);
    // From the window's own device context, not the screen's: Wine copies a window's finished
    // pixels to the X server only when the message loop goes idle, so the screen may still
    // show a control half painted; and nothing else on the display gets into the picture.
    HDC source = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    SelectObject(memory, previous);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int lines = GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, source);
    if (lines != height) return false;

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return static_cast<bool>(out);
}

}  // namespace starwright::demo
