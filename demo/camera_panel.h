#pragma once
// The simulated camera's panel: its state and the switches that make the host misbehave on
// purpose (the next camera or image call fails, the link is refused, the set-point is
// forbidden), so that a user can watch the plug-in's error handling.
//
// It is a window of its own thread: while the plug-in's window is up, the plug-in disables
// every window of the host's thread, as a modal window does, and the switches must stay
// usable then. The panel never touches the simulated host: a switch posts a message to the host
// window, which applies it on its own thread; the host window publishes the state to show.

#include <windows.h>

#include <array>
#include <mutex>
#include <string>
#include <thread>

namespace starwright::demo {

enum class Switch { NextCameraCallFails, NextImageCallFails, RefuseLink, ForbidSetpoint };
inline constexpr int kSwitchCount = 4;

// Posted to the host window when the user flips a switch: wParam is the Switch, lParam 1 for on.
inline constexpr UINT kSwitchMessage = WM_APP + 20;

struct CameraPanelState {
    std::array<std::wstring, 8> values;     // link, cooler, set-point, sensor, power, folder, name, start
    std::array<bool, kSwitchCount> switches{};
};

class CameraPanel {
public:
    // Opens the panel at the given screen position; switches go to `host`.
    CameraPanel(HWND host, POINT at, double scale);
    // Closes the panel and waits for its thread.
    ~CameraPanel();
    CameraPanel(const CameraPanel&) = delete;
    CameraPanel& operator=(const CameraPanel&) = delete;

    // Shows this state; callable from any thread, never waits for the panel.
    void Publish(const CameraPanelState& state);
    // The panel's window, once it exists (for tests and pictures).
    HWND Window() const { return window_; }
    // The check box of a switch.
    HWND SwitchBox(Switch which) const;

private:
    void Run(POINT at, double scale);
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Create(HWND window);
    void Show();

    HWND host_;
    double scale_ = 1;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    std::array<HWND, 8> values_{};
    std::array<HWND, kSwitchCount> switches_{};
    std::mutex mutex_;
    CameraPanelState state_;
    HANDLE ready_ = nullptr;
    std::thread thread_;
};

}  // namespace starwright::demo
