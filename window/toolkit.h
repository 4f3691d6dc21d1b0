#pragma once
// What the window needs from a toolkit: controls built from a form description, a modal
// showing, closing, a message box and letting pending events run. The headless toolkit
// implements it in memory for tests; the Win32 toolkit with native controls.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "window/form_description.h"

namespace starwright {

// One control of a loaded window. Each type supports the operations its kind has in the form
// description; the others are not called by the window's logic.
class Control {
public:
    virtual ~Control() = default;
    virtual const ControlDescription& Description() const = 0;

    // Label, frame, button, check box, option button.
    virtual std::string GetCaption() = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual bool GetVisible() = 0;
    virtual void SetVisible(bool visible) = 0;
    // Command button and timer.
    virtual bool GetEnabled() = 0;
    virtual void SetEnabled(bool enabled) = 0;
    // Text box: its text. List box: the text of the selected entry ("" when none).
    virtual std::string GetText() = 0;
    virtual void SetText(const std::string& text) = 0;
    // Check box: 0 clear, 1 ticked. Option button: 1 selected.
    virtual int GetValue() = 0;
    // List box and drop-down list; positions are 0-based, -1 is "no selection".
    virtual int16_t GetListCount() = 0;
    virtual std::string GetListItem(int16_t position) = 0;
    virtual int16_t GetListIndex() = 0;
    virtual void SetListIndex(int16_t position) = 0;
    virtual void AddItem(const std::string& text) = 0;
    virtual void RemoveItem(int16_t position) = 0;
    virtual void Clear() = 0;
    // List box: appends the entries of `source`, another list box of the same window, from
    // position 0 up to `count` - 1, in their order; the same as AddItem(source.GetListItem(p))
    // for each, without the text leaving the toolkit's own form.
    virtual void AddItemsOf(Control& source, int16_t count) = 0;
    // List box: stops drawing the list while many entries go in or out, and draws it once, as
    // it then stands, when resumed. The two pair up and do not nest; used through ListDrawnOnce.
    virtual void SuspendRedraw() = 0;
    virtual void ResumeRedraw() noexcept = 0;
};

enum class ControlEvent { Click, DblClick, Timer };

// Receives the control events of a loaded window, one at a time, on the window's thread.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void OnControlEvent(const ControlDescription& control, ControlEvent event) = 0;
};

// One showing of a window, from load to close. The object outlives its closing: Close()
// destroys the controls at once (references to them dangle from then on), but the object
// itself stays valid until its owner releases it after the modal loop has ended, so a handler
// that closed the window from inside a nested event pump can still return through it.
class LoadedWindow {
public:
    virtual ~LoadedWindow() = default;
    // A control by name and array index (-1 for a control that is not in an array).
    virtual Control& Find(std::string_view name, int16_t index = -1) = 0;
    // Shows the window modally and returns once it has closed.
    virtual void RunModal() = 0;
    virtual void Close() = 0;
    virtual bool IsClosed() const = 0;
    // Lets pending window events run, including clicks that close the window.
    virtual void DoEvents() = 0;
    // A modal message box with an OK button only, titled with the window's caption.
    virtual void ShowMessage(const std::string& text) = 0;
};

// Suspends a list box's drawing for as long as it lives and draws the list once when it goes,
// also when a failure ends the work early, so that what went in is shown. A window closed
// meanwhile (a host call lets window messages through, and one may close it) is not touched:
// its controls are gone.
class ListDrawnOnce {
public:
    ListDrawnOnce(LoadedWindow& window, Control& list) : window_(window), list_(list) { list_.SuspendRedraw(); }
    ~ListDrawnOnce() {
        if (!window_.IsClosed()) list_.ResumeRedraw();
    }
    ListDrawnOnce(const ListDrawnOnce&) = delete;
    ListDrawnOnce& operator=(const ListDrawnOnce&) = delete;

private:
    LoadedWindow& window_;
    Control& list_;
};

class Toolkit {
public:
    virtual ~Toolkit() = default;
    // Creates the window and its controls in their initial state, not yet shown.
    virtual std::unique_ptr<LoadedWindow> Load(const FormDescription& form, EventSink& events) = 0;
};

}  // namespace starwright
