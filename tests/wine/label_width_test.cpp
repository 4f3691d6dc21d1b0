// The tool window was laid out for "MS Sans Serif" 8.25 pt: each bold label is as wide as its
// caption in that face. A wider substitute face clips the captions ("Setpoint Temperatur",
// "CurrentTemperatu"). The captions are measured with the labels' own font in the real window,
// against the labels' widths from the form table at the window's DPI.

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "tests/wine/window_driver.h"
#include "window/win32/win32_toolkit.h"

namespace starwright {
namespace {

namespace d = driver;

struct NoEvents final : EventSink {
    void OnControlEvent(const ControlDescription&, ControlEvent) override {}
};

// The drawn width of a control's caption, on one line, in the control's own font.
int CaptionWidth(HWND control) {
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    const std::wstring text = ToWide(WindowText(control));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
}

TEST(LabelWidth, BoldCaptionsFitTheirLabels) {
    NoEvents events;
    Win32Toolkit toolkit;
    const std::unique_ptr<LoadedWindow> window = toolkit.Load(FrmMainDescription(), events);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);

    int measured = 0;
    for (const ControlDescription& label : FrmMainDescription().controls) {
        if (label.type != ControlType::Label || label.font != FontStyle::Bold || label.wraps) continue;
        SCOPED_TRACE(std::string(label.name) + "(" + std::to_string(label.index) + ") \"" + std::string(label.caption) + "\"");
        EXPECT_LE(CaptionWidth(d::Control(label.name, label.index)), MulDiv(label.width, dpi, 1440)) << "clipped";
        ++measured;
    }
    EXPECT_EQ(measured, 11);
    window->Close();
}

}  // namespace
}  // namespace starwright
