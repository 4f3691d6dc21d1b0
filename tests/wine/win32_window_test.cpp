// frmMain on the native toolkit over the simulated host, driven through its real controls.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "host/sim/sim_host.h"
#include "platform/portable_platform.h"
#include "tests/wine/window_fixture.h"

namespace starwright {
namespace {

namespace d = driver;

int ScreenDpi(int axis) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, axis);
    ReleaseDC(nullptr, screen);
    return dpi;
}

std::string NameOfId(int id) {
    const FormDescription& form = FrmMainDescription();
    for (const auto& c : form.controls)
        if (form.ControlId(c) == id)
            return std::string(c.name) + (c.index >= 0 ? "(" + std::to_string(c.index) + ")" : "");
    return "?" + std::to_string(id);
}

class Win32WindowTest : public ::testing::Test, protected SimHostedWindow {
protected:
    void ShowWith(d::Script& script) { starwright::ShowWith(form, script); }

    std::vector<std::string> ShownFrames() {
        std::vector<std::string> shown;
        for (const char* frame : {"vHandyPath", "vHandyStart", "vBin"})
            if (d::IsShown(frame)) shown.push_back(frame);
        return shown;
    }
};

TEST_F(Win32WindowTest, LoadsEveryControlInItsInitialState) {
    form.Load();
    ASSERT_NE(d::FindForm(), nullptr);
    const int dpi = ScreenDpi(LOGPIXELSY);
    for (const auto& c : FrmMainDescription().controls) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.index));
        if (c.type == ControlType::Timer) {
            EXPECT_FALSE(form.Find(c.name, c.index).GetEnabled());
            continue;
        }
        HWND hwnd = d::Control(c.name, c.index);
        EXPECT_EQ(d::IsVisibleSet(c.name, c.index), c.visible);
        EXPECT_TRUE(IsWindowEnabled(hwnd));
        const bool focusable = c.type != ControlType::Label && c.type != ControlType::Frame;
        EXPECT_EQ((GetWindowLongW(hwnd, GWL_STYLE) & WS_TABSTOP) != 0, focusable);
        if (c.type == ControlType::ListBox) {
            EXPECT_TRUE(d::ListEntries(c.name).empty());
        } else if (c.type == ControlType::ComboBox) {
            EXPECT_EQ(d::ListIndex(c.name), -1);
        } else {
            EXPECT_EQ(d::Text(c.name, c.index), c.caption);
        }
        if (c.type == ControlType::OptionButton || c.type == ControlType::CheckBox) {
            EXPECT_EQ(d::IsChecked(c.name, c.index), c.selected);
        }

        LOGFONTW font{};
        HFONT hfont = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
        ASSERT_NE(hfont, nullptr);
        ASSERT_EQ(GetObjectW(hfont, sizeof font, &font), static_cast<int>(sizeof font));
        const FontDescription& expected = FontOf(c.font);
        EXPECT_EQ(ToUtf8(font.lfFaceName), expected.face);
        EXPECT_EQ(font.lfWeight, expected.weight);
        EXPECT_EQ(font.lfHeight, -static_cast<LONG>(std::lround(expected.points * dpi / 72)));
    }
    // The values a user sees first, spelled out.
    EXPECT_EQ(d::Text("txtPath"), "C:\\MaximDL\\");
    EXPECT_EQ(d::Text("txtMessage1"), "None");
    EXPECT_EQ(d::Text("txtMessage2"), "None");
    EXPECT_EQ(d::Text("cmdStart"), "&Start Now");
    EXPECT_FALSE(d::IsVisibleSet("txtMessage4"));
    EXPECT_EQ(d::ListEntries("cmbType"), (std::vector<std::string>{"Decimal", "Integer", "Text"}));
    EXPECT_TRUE(d::IsChecked("optOptions", 0));
    EXPECT_NE(GetWindowLongW(d::Control("cmdStart"), GWL_STYLE) & BS_DEFPUSHBUTTON, 0);
}

TEST_F(Win32WindowTest, ValueLabelsArePureWhiteWithABorder) {
    form.Load();
    for (const char* name : {"lblSetTemp", "lblTemp", "lblTime", "txtMessage2"}) {
        SCOPED_TRACE(name);
        const bool white = FrmMainDescription().Find(name)->whiteBackground;
        HWND label = d::Control(name);
        HDC dc = GetDC(label);
        auto brush = reinterpret_cast<HBRUSH>(
            SendMessageW(GetParent(label), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label)));
        LOGBRUSH logBrush{};
        GetObjectW(brush, sizeof logBrush, &logBrush);
        EXPECT_EQ(logBrush.lbColor == RGB(255, 255, 255), white);
        EXPECT_EQ(GetBkColor(dc) == RGB(255, 255, 255), white);
        ReleaseDC(label, dc);
        EXPECT_EQ((GetWindowLongW(label, GWL_STYLE) & WS_BORDER) != 0, white);
    }
}

// The pixels of a rectangle of the form (in its client coordinates) as drawn so far, read from
// the form's own surface as a screenshot would show them.
std::vector<COLORREF> FormPixels(const RECT& area) {
    HWND form = d::FindForm();
    RedrawWindow(form, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    const int width = area.right - area.left, height = area.bottom - area.top;
    std::vector<COLORREF> pixels(static_cast<size_t>(width) * height);
    HDC source = GetDC(form);
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, area.left, area.top, SRCCOPY);
    SelectObject(memory, previous);
    BITMAPINFOHEADER info{sizeof info, width, -height, 1, 32, BI_RGB};
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(form, source);
    return pixels;
}

// Handy Start's message line runs over the last lines of the tool's help text. It hides them
// where its own text stands and nowhere else, and a shorter message leaves nothing behind.
TEST_F(Win32WindowTest, TheMessageLineHidesTheHelpTextOnlyUnderItsOwnText) {
    const std::string longMessage = "The camera did not answer: check its cable and its power, then try again";
    d::Script script;
    script.Then([&] {
        d::Click("optOptions", 1);
        HWND message = d::Control("txtMessage2");
        RECT shared, line, help;
        GetWindowRect(message, &line);
        GetWindowRect(d::Control("Label3", 1), &help);
        ASSERT_TRUE(IntersectRect(&shared, &line, &help));
        MapWindowPoints(nullptr, d::FindForm(), reinterpret_cast<POINT*>(&shared), 2);
        ShowWindow(message, SW_HIDE);
        const std::vector<COLORREF> helpAlone = FormPixels(shared);
        ShowWindow(message, SW_SHOWNA);
        const auto dark = std::count_if(helpAlone.begin(), helpAlone.end(),
                                        [](COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128; });
        ASSERT_GT(dark, 0) << "the help text has letters where the message line runs";

        const struct {
            std::string text;
            bool hidesHelp;
        } messages[] = {{"None", false}, {longMessage, true}, {"None", false}, {"", false}, {longMessage, true}};
        for (const auto& m : messages) {
            SCOPED_TRACE(m.text);
            form.Find("txtMessage2").SetCaption(m.text);
            EXPECT_EQ(FormPixels(shared) != helpAlone, m.hidesHelp);
            EXPECT_EQ(d::Text("txtMessage2"), m.text) << "the message is read whole";
        }
        d::Click("cmdExit");
    });
    ShowWith(script);
}

TEST_F(Win32WindowTest, TwipsAreScaledToTheScreenDpiWithinTheirContainer) {
    form.Load();
    const int dpiX = ScreenDpi(LOGPIXELSX);
    const int dpiY = ScreenDpi(LOGPIXELSY);
    RECT client;
    GetClientRect(d::FindForm(), &client);
    EXPECT_EQ(client.right, MulDiv(9465, dpiX, 1440));
    EXPECT_EQ(client.bottom, MulDiv(6675, dpiY, 1440));
    EXPECT_EQ(GetWindowLongW(d::FindForm(), GWL_STYLE) & WS_THICKFRAME, 0) << "not resizable";

    struct Case {
        const char* name;
        const char* container;
        int left, top, width, height;
    };
    const Case cases[] = {
        {"cmdExit", "", 8760, 0, 615, 375},
        {"vBin", "", 0, 600, 9135, 5775},
        {"txtKey", "vBin", 1560, 360, 1575, 285},
        {"lstSelectedBin", "vBin", 4800, 1080, 2775, 2595},
        {"lblTime", "vHandyStart", 1320, 4320, 615, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HWND hwnd = d::Control(c.name);
        HWND parent = *c.container ? d::Control(c.container) : d::FindForm();
        EXPECT_EQ(GetParent(hwnd), parent);
        RECT r;
        GetWindowRect(hwnd, &r);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, MulDiv(c.left, dpiX, 1440));
        EXPECT_EQ(r.top, MulDiv(c.top, dpiY, 1440));
        EXPECT_EQ(r.right - r.left, MulDiv(c.width, dpiX, 1440));
        EXPECT_EQ(r.bottom - r.top, MulDiv(c.height, dpiY, 1440));
    }
}

// A key pressed on the focused control, handled by the window's own message loop.
void PressKey(WPARAM key, bool shift = false) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
}

std::string Focused() { return NameOfId(GetDlgCtrlID(GetFocus())); }

// Tab follows the tab indexes across the whole window, whichever frame a control is in,
// skipping labels, frames, hidden and disabled controls; of the option group only the chosen
// button is a stop. Shift+Tab goes back.
TEST_F(Win32WindowTest, TabFollowsTheTabIndexesAcrossTheWindow) {
    struct Case {
        int16_t option;
        const char* disabled;
        std::vector<std::string> order;
    };
    const std::vector<Case> cases = {
        {0, nullptr, {"optOptions(0)", "cmdCreate", "txtObject", "txtPath", "cmdExit"}},
        {1, "cmdQuit", {"optOptions(1)", "chkNoSet", "lstLog", "cmdStart", "cmdExit"}},
        {2, nullptr, {"optOptions(2)", "cmbType", "cmdExit", "cmdSet", "lstSelectedBin", "cmdBinMove(3)",
                      "cmdBinMove(0)", "lstImagesBin", "txtKey", "txtKeyValue"}},
    };
    std::vector<std::string> visited;
    d::Script script;
    for (const Case& c : cases) {
        script.Then([&, this] {
            d::Click("optOptions", c.option);
            if (c.disabled) form.Find(c.disabled).SetEnabled(false);
            SetFocus(d::Control("optOptions", c.option));
            visited.clear();
        });
        // Once round the window and back to the start, then one step back.
        for (size_t step = 0; step <= c.order.size(); ++step) {
            script.Then([&visited, &c, step] {
                visited.push_back(Focused());
                PressKey(VK_TAB, step == c.order.size());
            });
        }
        script.Then([&, this] {
            PressKey(VK_TAB, false);  // the Shift key up again
            std::vector<std::string> expected = c.order;
            expected.push_back(c.order.front());
            EXPECT_EQ(visited, expected) << "option " << c.option;
            EXPECT_EQ(Focused(), c.order.back()) << "Shift+Tab from the first stop";
            if (c.disabled) form.Find(c.disabled).SetEnabled(true);
        });
    }
    script.Then([] { d::Click("cmdExit"); });
    ShowWith(script);
}

// The three option buttons are one arrow-key group (only the first starts it): the arrows
// move among all of them, either way and round, and choose each, which shows its tool.
TEST_F(Win32WindowTest, ArrowKeysMoveAmongAndChooseTheOptionButtons) {
    const struct {
        WPARAM key;
        int16_t option;
        const char* frame;
    } steps[] = {
        {VK_RIGHT, 1, "vHandyStart"}, {VK_DOWN, 2, "vBin"}, {VK_RIGHT, 0, "vHandyPath"},
        {VK_LEFT, 2, "vBin"},         {VK_UP, 1, "vHandyStart"},
    };
    d::Script script;
    script.Then([&] {
        for (int16_t option = 0; option < 3; ++option)
            EXPECT_EQ((GetWindowLongW(d::Control("optOptions", option), GWL_STYLE) & WS_GROUP) != 0, option == 0);
        SetFocus(d::Control("optOptions", 0));
        PressKey(steps[0].key);
    });
    for (size_t i = 0; i < std::size(steps); ++i) {
        script.Then([&, i, this] {
            const std::string option = "optOptions(" + std::to_string(steps[i].option) + ")";
            EXPECT_EQ(Focused(), option) << "step " << i;
            EXPECT_TRUE(d::IsChecked("optOptions", steps[i].option)) << "step " << i;
            EXPECT_EQ(ShownFrames(), std::vector<std::string>{steps[i].frame}) << "step " << i;
            if (i + 1 < std::size(steps)) PressKey(steps[i + 1].key);
        });
    }
    script.Then([] { d::Click("cmdExit"); });
    ShowWith(script);
}

TEST_F(Win32WindowTest, EachOptionShowsOnlyItsFrame) {
    const std::vector<std::pair<int16_t, std::string>> steps = {
        {2, "vBin"}, {0, "vHandyPath"}, {1, "vHandyStart"}, {2, "vBin"}, {1, "vHandyStart"}, {0, "vHandyPath"}};
    d::Script script;
    script.Then([this] { EXPECT_EQ(ShownFrames(), std::vector<std::string>{"vHandyPath"}); });
    for (const auto& [index, frame] : steps) {
        script.Then([this, index = index, frame = frame] {
            EXPECT_TRUE(d::Click("optOptions", index));
            EXPECT_EQ(ShownFrames(), std::vector<std::string>{frame}) << "option " << index;
            for (int16_t other = 0; other < 3; ++other) EXPECT_EQ(d::IsChecked("optOptions", other), other == index);
        });
    }
    script.Then([] { d::Click("cmdExit"); });
    ShowWith(script);
}

TEST_F(Win32WindowTest, HandyFitsListsTheOpenDocumentsOncePerChoice) {
    host.AddDocument("M31.fit");
    host.AddDocument("M42.fit");
    d::Script script;
    script.Then([this] {
        d::Type("txtKey", "SET-TEMP");
        d::Click("optOptions", 2);
        EXPECT_EQ(host.CallTexts(), (std::vector<std::string>{
                                        "create Application", "Application.Documents get", "Documents.Count get",
                                        "Documents.Item get I2 1", "Document(1).DisplayName get",
                                        "Documents.Item get I2 2", "Document(2).DisplayName get"}));
        EXPECT_EQ(d::ListEntries("lstImagesBin"), (std::vector<std::string>{"M31.fit", "M42.fit"}));
        EXPECT_EQ(d::ListIndex("cmbType"), 0);
        EXPECT_EQ(d::Text("txtKey"), "");
        // Clicking the tool already chosen is no new choice: nothing is listed twice.
        d::Click("optOptions", 2);
        EXPECT_EQ(d::ListEntries("lstImagesBin").size(), 2u);
        d::Click("optOptions", 1);
        d::Click("optOptions", 2);
        EXPECT_EQ(d::ListEntries("lstImagesBin"),
                  (std::vector<std::string>{"M31.fit", "M42.fit", "M31.fit", "M42.fit"}));
        EXPECT_TRUE(d::ListEntries("lstSelectedBin").empty());
    });
    script.Then([] { d::Click("cmdExit"); });
    ShowWith(script);
}

TEST_F(Win32WindowTest, ExitAndTheCloseBoxBothCloseTheWindow) {
    for (bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "Exit");
        d::Script script;
        script.Then([closeBox] {
            if (closeBox) d::PressCloseBox();
            else d::Click("cmdExit");
        });
        ShowWith(script);
        EXPECT_FALSE(form.IsLoaded());
        EXPECT_EQ(d::FindForm(), nullptr);
        EXPECT_TRUE(host.calls.empty()) << "closing does nothing to the host";
    }
}

TEST_F(Win32WindowTest, ShowingAgainStartsFromTheInitialStateWithTheSameCamera) {
    host.AddDocument("M31.fit");
    HostCamera* camera = &form.Camera();
    d::Script first;
    first.Then([] {
        d::Type("txtObject", "M51");
        d::Type("txtPath", "D:\\Images\\");
        d::Click("optOptions", 2);
        d::SelectEntry("lstImagesBin", 0);
        d::Click("cmdExit");
    });
    ShowWith(first);

    d::Script second;
    second.Then([this] {
        EXPECT_EQ(ShownFrames(), std::vector<std::string>{"vHandyPath"});
        EXPECT_TRUE(d::IsChecked("optOptions", 0));
        EXPECT_FALSE(d::IsChecked("optOptions", 2));
        EXPECT_EQ(d::Text("txtObject"), "");
        EXPECT_EQ(d::Text("txtPath"), "C:\\MaximDL\\");
        EXPECT_TRUE(d::ListEntries("lstImagesBin").empty());
        EXPECT_EQ(d::ListIndex("cmbType"), -1);
        d::Click("cmdExit");
    });
    ShowWith(second);
    EXPECT_EQ(&form.Camera(), camera);
    EXPECT_EQ(host.CallTexts("create Camera").size(), 1u);
}

TEST_F(Win32WindowTest, ListingFailureIsShownInAMessageBoxAndTheWindowStaysOpen) {
    host.AddDocument("M31.fit");
    host.AddDocument("M42.fit");
    host.FailOn("Documents.Item", 1004, "The document list is not available", 2);
    std::string title, text;
    int buttons = 0;
    d::Script script;
    script.Then([] { d::Click("optOptions", 2); });  // blocks in the message box
    script.Until([&] {
        HWND box = d::FindMessageBox();
        if (!box) return false;
        title = d::MessageBoxTitle(box);
        text = d::MessageBoxText(box);
        buttons = d::MessageBoxButtons(box);
        EXPECT_EQ(GetWindow(box, GW_OWNER), d::FindForm());
        d::PressOk(box);
        return true;
    });
    script.Then([this] {
        EXPECT_EQ(d::FindMessageBox(), nullptr);
        EXPECT_TRUE(form.IsLoaded());
        EXPECT_EQ(ShownFrames(), std::vector<std::string>{"vBin"});
        EXPECT_EQ(d::ListEntries("lstImagesBin"), std::vector<std::string>{"M31.fit"});
        EXPECT_EQ(d::ListIndex("cmbType"), -1) << "the failure ended the switch before the inputs were reset";
        d::Click("cmdExit");
    });
    ShowWith(script);
    EXPECT_EQ(title, "Starwright");
    EXPECT_EQ(text, "The document list is not available");
    EXPECT_EQ(buttons, 1);
}

}  // namespace
}  // namespace starwright
