#pragma once
// The stand-in host's main window: a live chart of the camera's cooler, the open images with
// their FITS headers (the cards the plug-in wrote highlighted), a log of every call the
// plug-in made on the host, and the camera panel with its faults on demand. Its File menu adds
// and closes images; its Plug-ins menu calls the plug-in's DoModal with the picked image.

#include <windows.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "demo/camera_panel.h"
#include "demo/cooler_chart.h"
#include "host/sim/sim_host.h"

namespace starwright::demo {

// The plug-in as the host knows it: its Name, and a call of its DoModal with the image at a
// 1-based position of the host's list (0 for none).
struct PlugInEntry {
    std::wstring name;
    std::function<HRESULT(int image)> show;
};

class HostWindow {
public:
    enum Command : UINT { kAddImage = 100, kCloseImage, kExit, kPlugIn };

    HostWindow(sim::SimHost& host, sim::SimClock& clock, PlugInEntry plugIn);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // Creates and shows the window and the camera panel beside it.
    HWND Create();
    HWND Window() const { return window_; }
    CameraPanel* Panel() const { return panel_.get(); }

    // Reads the calls made since the last look and takes a reading of the camera.
    void Poll();
    // Polls and brings every view up to date.
    void Refresh();

    // Opens an image with a header as a capture would have written it.
    void AddImage(const std::string& name);
    // Picks an image of the list (0-based), as a click on it does.
    void SelectImage(int position);
    // Message boxes off, for the unattended tour; a failure of the plug-in is kept instead.
    void SetQuiet(bool quiet) { quiet_ = quiet; }
    // No refresh every real second: the tour refreshes at its own simulated seconds, so that
    // the chart it pictures does not depend on when a real second passed during a tick.
    void StopRefreshTimer();
    HRESULT LastPlugInResult() const { return lastPlugInResult_; }

    const CoolerChart& Chart() const { return chart_; }
    HWND ImageList() const { return images_; }
    HWND HeaderView() const { return header_; }
    HWND CallLog() const { return log_; }

    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ChartProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void CreateChildren(HWND window);
    void Layout(int width, int height);
    void OnCommand(WORD id, WORD code);
    void ShowPlugIn();
    void AskForImage();
    void CloseSelectedImage();
    void ApplySwitch(Switch which, bool on);
    void ShowImages();
    void ShowHeader();
    void PublishCamera();
    void PaintChart(HWND chart);
    void DrawItem(const DRAWITEMSTRUCT& item);
    int SelectedImage() const;

    sim::SimHost& host_;
    sim::SimClock& clock_;
    PlugInEntry plugIn_;
    double started_;
    double scale_ = 1;
    bool quiet_ = false;
    HRESULT lastPlugInResult_ = S_OK;

    HWND window_ = nullptr;
    HWND chartView_ = nullptr, images_ = nullptr, header_ = nullptr, log_ = nullptr;
    HWND imagesTitle_ = nullptr, headerTitle_ = nullptr, logTitle_ = nullptr;
    HFONT font_ = nullptr, fixedFont_ = nullptr;
    std::unique_ptr<CameraPanel> panel_;

    CoolerChart chart_;
    size_t callsSeen_ = 0;
    std::set<std::pair<std::string, std::string>> written_;  // (image, keyword) the plug-in wrote
    std::vector<std::string> shownImages_;
    std::vector<std::string> shownHeader_;
};

}  // namespace starwright::demo
