#include "window/form_description.h"

namespace starwright {

namespace {

constexpr std::string_view kHelpPath =
    "Handy Path creates the folder for you where you save the files.   It uses the home path as a base to "
    "create the subdirectories.  The first directory created is the date in the format YYYYMMDD.   Then "
    "under that one, whatever you enter in the Image Name.  The path, file name, and starting sequence "
    "number will be set for you.";

constexpr std::string_view kHelpStart =
    "Handy Start is used to first connect and set the temperature of the camera.  Just click Start Now and "
    "the camera will be connected if it is not already done so.  Then the temperature will be set to -50 "
    "and a timer will run for 10 minutes.  Once the 10 minutes are up, the camera will then be set to a "
    "temperature of 89% of whatever it current is at.  After a couple of minutes to stablized, a message "
    "DONE will be displayed.  You can stop the process anytime by click END.  However, you will have to set "
    "a new temperature from -50.  When the Do Not Set New Temperature is checked, you can set the "
    "temperature to your closest master dark frame a few degrees warmer than what the camera ended up at.";

constexpr std::string_view kHelpFits =
    "Handy FITS Key allows you to add a new item to your FITS files.  You open all the FITS files you want "
    "to update, then enter the KEY name, value, and type of data (number or text).  When you click Update "
    "Fits Header, it updates all the selected FITS file.  The plug-in assumes you know what KEYS are needed "
    "if you are using another program to capture the image.  I created this because my camera does not "
    "have software temperature control.  So I use SET-TEMP and enter the value.";

// The credit line: an empty opening sentence, two blanks, then one line of credit.
constexpr std::string_view kCredit = "  Starwright 1.0, made by the Starwright developers for astronomers.";

using T = ControlType;
using F = FontStyle;

// An input named for screen readers by the label beside it, or by a name of its own.
ControlDescription Labelled(ControlDescription input, std::string_view label, int16_t labelIndex,
                            std::string_view accessibleName = {}) {
    input.label = label;
    input.labelIndex = labelIndex;
    input.accessibleName = accessibleName;
    return input;
}

FormDescription MakeFrmMain() {
    FormDescription form{"frmMain", "Starwright", 9465, 6675, {}};
    auto& c = form.controls;
    // On the window itself.
    c.push_back({T::OptionButton, "optOptions", 0, "", "Handy Path", 120, 120, 1455, 375, 0, F::Bold, true, true});
    c.push_back({T::OptionButton, "optOptions", 1, "", "Handy Start", 1800, 120, 1455, 375, 11, F::Bold});
    c.push_back({T::OptionButton, "optOptions", 2, "", "Handy FITS", 3240, 120, 1455, 375, 44, F::Bold});
    c.push_back({T::Label, "Label6", 0, "", kCredit, 4800, 0, 3855, 495, 28, F::Default, true, false, false, true});
    c.push_back({T::CommandButton, "cmdExit", -1, "", "Exit", 8760, 0, 615, 375, 10});
    c.push_back({T::Frame, "vHandyPath", -1, "", "Handy Path", 0, 600, 9135, 5775, 1});
    c.push_back({T::Frame, "vHandyStart", -1, "", "Handy Start", 0, 600, 9135, 5775, 12, F::Default, false});
    c.push_back({T::Frame, "vBin", -1, "", "Handy FITS Key", 0, 600, 9135, 5775, 29, F::Default, false});

    // The dated folder tool.
    c.push_back({T::Label, "Label1", 0, "vHandyPath", "Image Name", 120, 360, 1095, 255, 5});
    c.push_back(Labelled({T::TextBox, "txtObject", -1, "vHandyPath", "", 1320, 360, 3015, 285, 3}, "Label1", 0));
    c.push_back({T::CommandButton, "cmdCreate", -1, "vHandyPath", "Create Path", 4560, 240, 1095, 375, 2});
    c.push_back({T::Label, "Label2", 0, "vHandyPath", "Home path", 120, 960, 1095, 255, 6});
    c.push_back(Labelled({T::TextBox, "txtPath", -1, "vHandyPath", "C:\\MaximDL\\", 1320, 960, 3255, 285, 4}, "Label2", 0));
    c.push_back({T::Label, "Label4", -1, "vHandyPath", "Messages", 120, 1680, 855, 255, 8});
    c.push_back({T::Label, "txtMessage1", -1, "vHandyPath", "None", 1080, 1680, 4215, 255, 9, F::Bold});
    c.push_back({T::Label, "Label3", 0, "vHandyPath", kHelpPath, 120, 2400, 8295, 1695, 7, F::Help, true, false, false, true});

    // The cool-down procedure.
    c.push_back({T::Label, "Label2", 2, "vHandyStart", "Setpoint Temperature", 360, 240, 1935, 255, 20, F::Bold});
    c.push_back({T::Label, "lblSetTemp", -1, "vHandyStart", "0", 2520, 240, 735, 255, 19, F::Default, true, false, true});
    c.push_back({T::Label, "Label2", 3, "vHandyStart", "CurrentTemperature", 360, 600, 1695, 255, 23, F::Bold});
    c.push_back({T::Label, "lblTemp", -1, "vHandyStart", "0", 2520, 600, 735, 255, 24, F::Default, true, false, true});
    c.push_back({T::CheckBox, "chkNoSet", -1, "vHandyStart", "Do not set new temperature", 360, 1080, 2895, 255, 13, F::Bold});
    c.push_back({T::Label, "Label1", 1, "vHandyStart", "Set temperature yourself after camera stablizes", 600, 1320, 2415, 375, 17, F::Default, true, false, false, true});
    c.push_back({T::CommandButton, "cmdStart", -1, "vHandyStart", "&Start Now", 360, 1800, 975, 375, 16, F::Default, true, false, false, false, true});
    c.push_back({T::CommandButton, "cmdQuit", -1, "vHandyStart", "&End", 2040, 1800, 735, 375, 15});
    c.push_back({T::Label, "Label2", 4, "vHandyStart", "Log", 360, 2280, 975, 255, 18, F::Bold});
    c.push_back(Labelled({T::ListBox, "lstLog", -1, "vHandyStart", "", 360, 2520, 2535, 1425, 14}, "Label2", 4));
    c.push_back({T::Label, "Label2", 1, "vHandyStart", "Time Left", 360, 4320, 855, 255, 22, F::Bold});
    c.push_back({T::Label, "lblTime", -1, "vHandyStart", "0", 1320, 4320, 615, 255, 21, F::Default, true, false, true});
    c.push_back({T::Label, "Label5", -1, "vHandyStart", "Messages", 360, 4800, 855, 255, 25});
    c.push_back({T::Label, "txtMessage2", -1, "vHandyStart", "None", 1200, 4800, 4215, 255, 26, F::Bold});
    c.push_back({T::Label, "Label3", 1, "vHandyStart", kHelpStart, 3600, 240, 4575, 5415, 27, F::Help, true, false, false, true});
    ControlDescription timer{T::Timer, "Timer1", -1, "vHandyStart", "", 0, 0, 0, 0, -1};
    timer.interval = 1000;
    c.push_back(timer);

    // The header keyword tool.
    c.push_back({T::Label, "Label6", 4, "vBin", "Key Name", 360, 360, 975, 255, 41, F::Bold});
    c.push_back(Labelled({T::TextBox, "txtKey", -1, "vBin", "", 1560, 360, 1575, 285, 42}, "Label6", 4));
    c.push_back({T::Label, "Label6", 2, "vBin", "Value", 3240, 360, 615, 255, 38, F::Bold});
    c.push_back(Labelled({T::TextBox, "txtKeyValue", -1, "vBin", "", 3840, 360, 2175, 285, 43}, "Label6", 2));
    ControlDescription type{T::ComboBox, "cmbType", -1, "vBin", "", 6120, 360, 1215, 315, 45};
    type.items = {"Decimal", "Integer", "Text"};
    type.accessibleName = "Type";  // no label: what it chooses
    c.push_back(type);
    c.push_back({T::CommandButton, "cmdSet", -1, "vBin", "Update Fits Header", 7440, 240, 1575, 375, 30});
    c.push_back({T::Label, "Label6", 3, "vBin", "Loaded Images", 360, 720, 2655, 255, 40, F::Bold});
    c.push_back({T::Label, "Label6", 1, "vBin", "Loaded Images", 4800, 720, 1455, 255, 39, F::Bold});
    c.push_back({T::Label, "txtMessage4", -1, "vBin", "Updated", 7200, 720, 1455, 255, 35, F::Bold, false});
    c.push_back(Labelled({T::ListBox, "lstImagesBin", -1, "vBin", "", 360, 1080, 2775, 2595, 34}, "Label6", 3,
                         "Loaded Images (left)"));
    c.push_back({T::CommandButton, "cmdBinMove", 0, "vBin", "All >>", 3360, 1080, 1095, 375, 33});
    c.push_back({T::CommandButton, "cmdBinMove", 3, "vBin", "<< All", 3360, 1680, 1095, 375, 32});
    c.push_back({T::Label, "Label7", -1, "vBin", "Double Click file to move files back and forth.", 3360, 2280, 1095, 1335, 36, F::Default, true, false, false, true});
    c.push_back(Labelled({T::ListBox, "lstSelectedBin", -1, "vBin", "", 4800, 1080, 2775, 2595, 31}, "Label6", 1,
                         "Loaded Images (right)"));
    c.push_back({T::Label, "Label3", 2, "vBin", kHelpFits, 240, 3720, 8535, 1935, 37, F::Help, true, false, false, true});
    return form;
}

}  // namespace

const FontDescription& FontOf(FontStyle style) {
    static const FontDescription fonts[] = {
        {"MS Sans Serif", 8.25, 400},
        {"MS Sans Serif", 8.25, 700},
        {"MS Sans Serif", 12.0, 400},
    };
    return fonts[static_cast<int>(style)];
}

const ControlDescription* FormDescription::Find(std::string_view name, int16_t index) const {
    for (const auto& control : controls)
        if (control.name == name && control.index == index) return &control;
    return nullptr;
}

int FormDescription::ControlId(const ControlDescription& control) const {
    return 1000 + static_cast<int>(&control - controls.data());
}

int FormDescription::ControlId(std::string_view name, int16_t index) const {
    const ControlDescription* control = Find(name, index);
    return control ? ControlId(*control) : 0;
}

const ControlDescription* FormDescription::LabelOf(const ControlDescription& control) const {
    return control.label.empty() ? nullptr : Find(control.label, control.labelIndex);
}

std::string_view FormDescription::AccessibleName(const ControlDescription& control) const {
    if (!control.accessibleName.empty()) return control.accessibleName;
    const ControlDescription* label = LabelOf(control);
    return label ? label->caption : std::string_view();
}

const FormDescription& FrmMainDescription() {
    static const FormDescription form = MakeFrmMain();
    return form;
}

}  // namespace starwright
