#pragma once
// The tool window described as data: every control with its type, name, array index,
// container, caption, layout in twips (1/1440 inch), tab index, font and initial state.
// Toolkits build their controls from this; the window's logic addresses controls by name.

#include <cstdint>
#include <string_view>
#include <vector>

namespace starwright {

enum class ControlType { Label, TextBox, ListBox, ComboBox, CheckBox, OptionButton, CommandButton, Frame, Timer };

enum class FontStyle { Default, Bold, Help };

struct FontDescription {
    std::string_view face;
    double points;
    int weight;
};

const FontDescription& FontOf(FontStyle style);

struct ControlDescription {
    ControlType type;
    std::string_view name;
    int16_t index;               // array index, -1 for a control outside any array
    std::string_view container;  // "" for the window itself, else the frame's name
    std::string_view caption;    // caption or initial text; "&" marks the access key
    int left, top, width, height;  // twips, relative to the container
    int tabIndex;                // -1 for the timer, which has none
    FontStyle font = FontStyle::Default;
    bool visible = true;
    bool selected = false;       // option button chosen at load
    bool whiteBackground = false;  // the value labels: pure white with a thin border
    bool wraps = false;          // label text wraps over several lines
    bool defaultButton = false;  // activated by Enter
    std::vector<std::string_view> items = {};  // drop-down list entries
    int interval = 0;            // timer interval in milliseconds; timers load disabled
    // What a screen reader calls an input that shows no caption of its own: the caption of the
    // label a sighted user reads beside it (by name and array index), or `accessibleName`, a
    // name that is never shown, for an input without a label or to tell apart two of one label.
    std::string_view label = {};
    int16_t labelIndex = -1;
    std::string_view accessibleName = {};
};

struct FormDescription {
    std::string_view name;
    std::string_view caption;
    int clientWidth, clientHeight;  // twips
    std::vector<ControlDescription> controls;

    // The control by name and index, or nullptr.
    const ControlDescription* Find(std::string_view name, int16_t index = -1) const;
    // A stable number for each control, usable as a native control identifier.
    int ControlId(const ControlDescription& control) const;
    int ControlId(std::string_view name, int16_t index = -1) const;
    // The control's label (see ControlDescription::label), or nullptr.
    const ControlDescription* LabelOf(const ControlDescription& control) const;
    // What a screen reader calls an input without a caption of its own; "" for other controls.
    std::string_view AccessibleName(const ControlDescription& control) const;
};

const FormDescription& FrmMainDescription();

}  // namespace starwright
