#pragma once
// Native Win32 controls built from a form description, scaled from twips to the screen's
// DPI; the modal loop, the timer, message boxes and letting pending events run.

#include "window/toolkit.h"

namespace starwright {

// The timer id of a form's timer control (there is one: Timer1); tests deliver ticks with it.
inline constexpr unsigned kTimer1Id = 1;

// Window classes of the form and of its frames; a test finds the form by class and caption.
inline constexpr wchar_t kWin32FormClass[] = L"StarwrightForm";
inline constexpr wchar_t kWin32FrameClass[] = L"StarwrightFrame";

class Win32Toolkit final : public Toolkit {
public:
    // The window is created on the calling thread, which must run its modal loop and close it.
    std::unique_ptr<LoadedWindow> Load(const FormDescription& form, EventSink& events) override;
};

}  // namespace starwright
