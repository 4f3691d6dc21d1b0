#pragma once
// The native window behind Win32Toolkit: a top-level form window, one child container
// window per frame, and a native control for every other control of the description.

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <windows.h>

#include "window/toolkit.h"

namespace starwright {

class Win32Window;

// Deletes a GDI object (font, brush) when its owner goes.
struct GdiObjectDeleter {
    void operator()(void* object) const noexcept { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using BrushHandle = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;

class Win32Control final : public Control {
public:
    Win32Control(Win32Window& window, const ControlDescription& description, HWND hwnd)
        : window_(window), d_(description), hwnd_(hwnd) {}

    const ControlDescription& Description() const override { return d_; }
    std::string GetCaption() override;
    void SetCaption(const std::string& caption) override;
    bool GetVisible() override;
    void SetVisible(bool visible) override;
    bool GetEnabled() override;
    void SetEnabled(bool enabled) override;
    std::string GetText() override;
    void SetText(const std::string& text) override;
    int GetValue() override;
    int16_t GetListCount() override;
    std::string GetListItem(int16_t position) override;
    int16_t GetListIndex() override;
    void SetListIndex(int16_t position) override;
    void AddItem(const std::string& text) override;
    void RemoveItem(int16_t position) override;
    void Clear() override;
    void AddItemsOf(Control& source, int16_t count) override;
    void SuspendRedraw() override;
    void ResumeRedraw() noexcept override;

    // The native control; nullptr for the timer, which has none.
    HWND Hwnd() const { return hwnd_; }
    bool TimerRunning() const { return timerRunning_; }
    void TimerStopped() { timerRunning_ = false; }
    // A label stacked over another control shows itself only where its text stands (see
    // ShapeToText); from now on also after every change of its text.
    void KeepShapedToText();

private:
    // The native control, once it is known that the window is still open.
    HWND Live();
    bool IsList() const { return d_.type == ControlType::ListBox; }
    bool IsCombo() const { return d_.type == ControlType::ComboBox; }
    std::string EntryText(int position);
    // The text was set: a label kept to its text's shape takes its new shape.
    void TextChanged();
    void ShapeToText();

    Win32Window& window_;
    const ControlDescription& d_;
    HWND hwnd_;
    bool timerRunning_ = false;
    bool shapedToText_ = false;
    std::wstring wide_;  // an entry on its way in, kept so that listing thousands allocates once
};

class Win32Window final : public LoadedWindow {
public:
    Win32Window(const FormDescription& form, EventSink& events);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    // Creates the form window and every control in its initial state, hidden.
    void Create();

    Control& Find(std::string_view name, int16_t index = -1) override;
    void RunModal() override;
    void Close() override;
    bool IsClosed() const override { return closed_; }
    void DoEvents() override;
    void ShowMessage(const std::string& text) override;

    // Throws when a control is used after the window closed: its native window is gone.
    void RequireOpen(std::string_view name) const;
    HWND FormHwnd() const { return hwnd_; }
    // Gives the focus to the control that last had it, or the first tab stop the user can reach.
    void RestoreFocus();

    static LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    int PixelsX(int twips) const { return MulDiv(twips, dpiX_, 1440); }
    int PixelsY(int twips) const { return MulDiv(twips, dpiY_, 1440); }
    void CreateFonts();
    void CreateControl(const ControlDescription& d);
    // Labels stacked over a sibling they overlap are kept to their text's shape.
    void ShapeOverlappingLabels();
    // The label that names an input for screen readers, stacked right before it; or nullptr.
    const ControlDescription* StackedLabel(const ControlDescription& d) const;
    // A label's height in pixels, short of the input it names where it would overlap it.
    int LabelHeight(const ControlDescription& label) const;
    HWND ContainerHwnd(std::string_view container) const;
    void ReleaseResources();
    // Every control of the form by tab index; equal indexes keep the table's order.
    std::vector<const ControlDescription*> TabOrder() const;
    bool IsTabStop(const ControlDescription& d);
    // The stop after (or before) the control holding `from`; from the start (or end) when
    // `from` is no control. nullptr when there is no stop at all.
    Win32Control* NextTabStop(HWND from, bool backward);
    bool HandleTabKey(const MSG& msg);
    Win32Control* ControlOf(const ControlDescription& d);
    Win32Control* ControlById(int id);
    Win32Control* ControlByHwnd(HWND hwnd);

    // Messages of the form and, forwarded, of its frames. True when handled.
    bool HandleChildMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    LRESULT HandleFormMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(WPARAM wParam);
    void OnOptionClicked(Win32Control& option);
    void Raise(const ControlDescription& control, ControlEvent event);
    void OnDestroyed();

    void DisableThreadWindows();
    void RestoreThreadWindows();
    // One message through the dialog keyboard handling (Tab, access keys, Enter) or dispatched.
    void Process(MSG& msg);

    const FormDescription& form_;
    EventSink& events_;
    HWND hwnd_ = nullptr;
    HINSTANCE instance_ = nullptr;
    bool closed_ = false;
    bool running_ = false;
    int dpiX_ = 96;
    int dpiY_ = 96;
    std::vector<FontHandle> fonts_;  // by FontStyle
    BrushHandle whiteBrush_;
    std::vector<std::unique_ptr<Win32Control>> controls_;
    const ControlDescription* selectedOption_ = nullptr;
    Win32Control* defaultButton_ = nullptr;
    Win32Control* timer_ = nullptr;
    std::vector<HWND> disabled_;   // windows of the thread disabled while the form is modal
    HWND previousActive_ = nullptr;
    HWND lastFocus_ = nullptr;     // the control that had the focus when the form was deactivated
};

}  // namespace starwright
