#include "demo/screenshot_tour.h"

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "window/form_description.h"
#include "window/win32/win32_toolkit.h"

namespace starwright::demo {

namespace {

Tour* activeTour = nullptr;
int step = 0;
int ticksDelivered = 0;
UINT_PTR tourTimer = 0;

constexpr int kTicksToShow = 150;  // two and a half minutes of cooling before the picture

BOOL CALLBACK MatchToolWindow(HWND window, LPARAM context) {
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    if (!IsWindowVisible(window) || std::wcscmp(caption, L"Starwright") != 0) return TRUE;
    *reinterpret_cast<HWND*>(context) = window;
    return FALSE;
}

HWND FindToolWindow() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), MatchToolWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

struct ControlSearch {
    int id;
    HWND found = nullptr;
};

BOOL CALLBACK MatchControl(HWND child, LPARAM context) {
    auto* search = reinterpret_cast<ControlSearch*>(context);
    if (GetDlgCtrlID(child) != search->id) return TRUE;
    search->found = child;
    return FALSE;
}

HWND FindControl(HWND window, std::string_view name, int16_t index = -1) {
    ControlSearch search{FrmMainDescription().ControlId(name, index)};
    EnumChildWindows(window, MatchControl, reinterpret_cast<LPARAM>(&search));
    if (!search.found) throw std::runtime_error("the tool window has no control " + std::string(name));
    return search.found;
}

void Click(HWND window, std::string_view name, int16_t index = -1) {
    SendMessageW(FindControl(window, name, index), BM_CLICK, 0, 0);
}

void Type(HWND window, std::string_view name, const wchar_t* text) {
    SendMessageW(FindControl(window, name), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

std::string Text(HWND control) {
    wchar_t buffer[256] = {};
    GetWindowTextW(control, buffer, 256);
    char narrow[512] = {};
    WideCharToMultiByte(CP_UTF8, 0, buffer, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

void Picture(Tour& tour, HWND window, const wchar_t* name) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const std::wstring path = tour.folder + L"\\" + name + L".bmp";
    if (!SaveWindowPicture(window, path)) throw std::runtime_error("could not save a picture of the tool window");
    tour.shots.push_back(path);
}

std::string Degrees(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    return buffer;
}

// One step per timer callback, so the modal loop paints between steps.
bool RunStep(Tour& tour) {
    HWND window = FindToolWindow();
    if (!window) return step == 0;  // not shown yet: wait
    switch (step++) {
    case 0:
        Type(window, "txtObject", L"M31");
        return true;
    case 1:
        Picture(tour, window, L"handy-path");
        Click(window, "optOptions", 1);
        tour.report.push_back("camera sensor before the cool-down: " + Degrees(tour.host.camera.temperature) + " C");
        Click(window, "cmdStart");
        return true;
    case 2:
        // The cool-down's ticks, fast-forwarded: the simulated clock moves one second per tick.
        for (int i = 0; i < 10 && ticksDelivered < kTicksToShow; ++i, ++ticksDelivered) {
            tour.clock.Advance(1.0);
            SendMessageW(window, WM_TIMER, kTimer1Id, 0);
        }
        if (ticksDelivered < kTicksToShow) --step;
        return true;
    case 3:
        tour.report.push_back("camera sensor after " + std::to_string(kTicksToShow) + " s of cooling: " +
                              Text(FindControl(window, "lblTemp")) + " C (set-point " +
                              Text(FindControl(window, "lblSetTemp")) + ")");
        Picture(tour, window, L"handy-start");
        Click(window, "optOptions", 2);
        return true;
    case 4:
        Click(window, "cmdBinMove", 0);
        Type(window, "txtKey", L"SET-TEMP");
        Type(window, "txtKeyValue", L"-20.5");
        Click(window, "cmdSet");
        return true;
    case 5:
        Picture(tour, window, L"handy-fits");
        for (const auto& document : tour.host.documents)
            if (auto card = document.header.Card("SET-TEMP"))
                tour.report.push_back(document.displayName + ": " + *card);
        Click(window, "cmdExit");
        tour.finished = true;
        return false;
    default:
        return false;
    }
}

void CALLBACK OnTourTimer(HWND, UINT, UINT_PTR, DWORD) {
    Tour& tour = *activeTour;
    bool more = false;
    try {
        more = RunStep(tour);
    } catch (const std::exception& e) {
        tour.failure = e.what();
    } catch (...) {
        tour.failure = "unexpected failure";
    }
    if (more) return;
    KillTimer(nullptr, tourTimer);
    if (!tour.finished) {
        if (HWND window = FindToolWindow()) PostMessageW(window, WM_CLOSE, 0, 0);
    }
}

}  // namespace

void StartTour(Tour& tour) {
    activeTour = &tour;
    step = 0;
    ticksDelivered = 0;
    tourTimer = SetTimer(nullptr, 0, 150, OnTourTimer);
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
