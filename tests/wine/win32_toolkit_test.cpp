// The native toolkit on its own, with a recording event sink: control operations, events,
// the modal loop and what may happen inside it.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/failure.h"
#include "tests/wine/window_driver.h"
#include "window/win32/win32_toolkit.h"

namespace starwright {
namespace {

namespace d = driver;

struct RecordingSink final : EventSink {
    void OnControlEvent(const ControlDescription& control, ControlEvent event) override {
        std::string text = std::string(control.name);
        if (control.index >= 0) text += "(" + std::to_string(control.index) + ")";
        text += event == ControlEvent::Click ? " click" : event == ControlEvent::DblClick ? " dblclick" : " timer";
        events.push_back(text);
        if (react) react(control, event);
    }
    std::vector<std::string> events;
    std::function<void(const ControlDescription&, ControlEvent)> react;
};

// A plain top-level window of the test, standing in for the host's own windows.
struct HostWindow {
    explicit HostWindow(bool enabled) {
        hwnd = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
        EnableWindow(hwnd, enabled);
    }
    ~HostWindow() { DestroyWindow(hwnd); }
    HWND hwnd;
};

class Win32ToolkitTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = toolkit.Load(FrmMainDescription(), sink);
        sink.react = [this](const ControlDescription& control, ControlEvent) {
            if (control.name == "cmdExit") window->Close();
        };
    }
    void RunWith(d::Script& script) {
        script.Start();
        window->RunModal();
        script.Stop();
        EXPECT_TRUE(script.Finished());
        for (const auto& problem : script.problems) ADD_FAILURE() << problem;
    }

    Win32Toolkit toolkit;
    RecordingSink sink;
    std::unique_ptr<LoadedWindow> window;
};

TEST_F(Win32ToolkitTest, ListOperationsBehaveLikeAListBox) {
    for (const char* name : {"lstLog", "cmbType"}) {
        SCOPED_TRACE(name);
        Control& list = window->Find(name);
        list.Clear();
        EXPECT_EQ(list.GetListCount(), 0);
        EXPECT_EQ(list.GetText(), "");
        for (const char* entry : {"M31.fit", "Température −12,5 °C", "M42.fit"}) list.AddItem(entry);
        EXPECT_EQ(list.GetListCount(), 3);
        EXPECT_EQ(list.GetListItem(1), "Température −12,5 °C");
        EXPECT_EQ(list.GetListItem(3), "");
        EXPECT_EQ(list.GetListIndex(), -1);
        list.SetListIndex(1);
        EXPECT_EQ(list.GetListIndex(), 1);
        EXPECT_EQ(list.GetText(), "Température −12,5 °C");
        list.SetListIndex(-1);
        EXPECT_EQ(list.GetText(), "");
        EXPECT_THROW(list.SetListIndex(3), Failure);
        EXPECT_THROW(list.SetListIndex(-2), Failure);
        EXPECT_THROW(list.RemoveItem(3), Failure);
        list.SetListIndex(2);
        list.RemoveItem(0);
        EXPECT_EQ(list.GetListItem(0), "Température −12,5 °C");
        EXPECT_EQ(list.GetText(), "M42.fit") << "the selection moves with its entry";
        list.Clear();
        EXPECT_EQ(list.GetListCount(), 0);
        EXPECT_EQ(list.GetListIndex(), -1);
    }
}

TEST_F(Win32ToolkitTest, TextsCaptionsAndStatesReachTheNativeControls) {
    const std::string text = "Température −12,5 °C & more";
    struct Case {
        const char* name;
        bool caption;  // through SetCaption, else SetText
    };
    for (const Case& c : {Case{"txtMessage2", true}, Case{"vBin", true}, Case{"cmdStart", true}, Case{"txtKey", false}}) {
        SCOPED_TRACE(c.name);
        Control& control = window->Find(c.name);
        if (c.caption) control.SetCaption(text);
        else control.SetText(text);
        EXPECT_EQ(c.caption ? control.GetCaption() : control.GetText(), text);
        wchar_t wide[64] = {};
        GetWindowTextW(d::Control(c.name), wide, 64);
        EXPECT_STREQ(wide, L"Température −12,5 °C & more");
    }
    Control& start = window->Find("cmdStart");
    start.SetEnabled(false);
    EXPECT_FALSE(d::IsEnabled("cmdStart"));
    EXPECT_FALSE(start.GetEnabled());
    start.SetEnabled(true);
    EXPECT_TRUE(d::IsEnabled("cmdStart"));

    Control& updated = window->Find("txtMessage4");
    updated.SetVisible(true);
    EXPECT_TRUE(d::IsVisibleSet("txtMessage4"));
    EXPECT_TRUE(updated.GetVisible()) << "its own setting, though its frame is hidden";

    Control& noSet = window->Find("chkNoSet");
    EXPECT_EQ(noSet.GetValue(), 0);
    SendMessageW(d::Control("chkNoSet"), BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(noSet.GetValue(), 1);
    EXPECT_EQ(window->Find("optOptions", 0).GetValue(), 1);
    EXPECT_EQ(window->Find("optOptions", 1).GetValue(), 0);
}

TEST_F(Win32ToolkitTest, TimerTicksOnlyWhileEnabled) {
    Control& timer = window->Find("Timer1");
    d::Tick();
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.GetEnabled());
    d::Tick();
    d::Tick();
    timer.SetEnabled(false);
    d::Tick();
    EXPECT_EQ(sink.events, (std::vector<std::string>{"Timer1 timer", "Timer1 timer"}));
    timer.SetEnabled(true);
    window->Close();
    EXPECT_FALSE(KillTimer(d::FindForm(), kTimer1Id)) << "closing stops the timer";
}

TEST_F(Win32ToolkitTest, EventsComeFromReachableControlsOnly) {
    d::Script script;
    script.Then([this] {
        EXPECT_TRUE(d::Click("optOptions", 1));
        EXPECT_TRUE(d::Click("optOptions", 1));  // already chosen: no event
        EXPECT_FALSE(d::Click("cmdStart")) << "its frame is hidden";
        window->Find("vHandyStart").SetVisible(true);
        EXPECT_TRUE(d::Click("cmdStart"));
        EXPECT_TRUE(d::Click("chkNoSet"));
        window->Find("cmdStart").SetEnabled(false);
        // A click the button could not have sent: the dialog manager's Enter, a stale message.
        HWND start = d::Control("cmdStart");
        SendMessageW(GetParent(start), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(start), BN_CLICKED), reinterpret_cast<LPARAM>(start));
        window->Find("lstLog").AddItem("line");
        d::DoubleClickEntry("lstLog", 0);
        d::SelectEntry("lstLog", 0);
        d::Click("cmdExit");
    });
    RunWith(script);
    EXPECT_EQ(sink.events, (std::vector<std::string>{"optOptions(1) click", "cmdStart click", "chkNoSet click",
                                                     "lstLog dblclick", "cmdExit click"}));
}

TEST_F(Win32ToolkitTest, EnterAndAccessKeysPressOnlyButtonsTheUserCanSee) {
    auto key = [](UINT message, WPARAM wParam) {
        MSG msg{GetFocus(), message, wParam, message == WM_SYSCHAR ? (1 << 29) : 0, 0, {}};
        return IsDialogMessageW(d::FindForm(), &msg);
    };
    d::Script script;
    script.Then([&] {
        SetFocus(d::Control("txtPath"));
        key(WM_KEYDOWN, VK_RETURN);
        key(WM_SYSCHAR, 's');
        EXPECT_TRUE(sink.events.empty()) << "cmdStart is in a hidden frame";
        window->Find("vHandyPath").SetVisible(false);
        window->Find("vHandyStart").SetVisible(true);
        SetFocus(d::Control("lstLog"));
        key(WM_KEYDOWN, VK_RETURN);
        key(WM_SYSCHAR, 'e');
        SetFocus(d::Control("cmdQuit"));
        key(WM_KEYDOWN, VK_RETURN);
        window->Find("cmdStart").SetEnabled(false);
        SetFocus(d::Control("lstLog"));
        key(WM_KEYDOWN, VK_RETURN);
        d::Click("cmdExit");
    });
    RunWith(script);
    EXPECT_EQ(sink.events,
              (std::vector<std::string>{"cmdStart click", "cmdQuit click", "cmdQuit click", "cmdExit click"}));
}

TEST_F(Win32ToolkitTest, FocusStartsOnTheFirstStopAndLeavesAFrameBeingHidden) {
    d::Script script;
    script.Then([this] {
        EXPECT_EQ(GetFocus(), d::Control("optOptions", 0));
        SetFocus(d::Control("txtPath"));
        window->Find("vHandyPath").SetVisible(false);
        HWND focus = GetFocus();
        EXPECT_TRUE(focus && IsWindowVisible(focus) && IsChild(d::FindForm(), focus));
        d::Click("cmdExit");
    });
    RunWith(script);
}

TEST_F(Win32ToolkitTest, ClosingInsideANestedEventPumpIsSafe) {
    bool closedInside = false;
    bool findThrew = false;
    bool heldControlThrew = false;
    sink.react = [&](const ControlDescription& control, ControlEvent) {
        if (control.name == "cmdExit") window->Close();
        if (control.name != "optOptions" || control.index != 2) return;
        Control& log = window->Find("lstLog");
        PostMessageW(d::Control("cmdExit"), BM_CLICK, 0, 0);
        PostMessageW(d::Control("optOptions", 1), BM_CLICK, 0, 0);
        window->DoEvents();
        closedInside = window->IsClosed();
        try {
            window->Find("lstLog");
        } catch (const std::logic_error&) {
            findThrew = true;
        }
        try {
            log.AddItem("after close");
        } catch (const std::logic_error&) {
            heldControlThrew = true;
        }
        window->DoEvents();
        window->Close();
    };
    d::Script script;
    script.Then([] { d::Click("optOptions", 2); });
    RunWith(script);
    EXPECT_TRUE(closedInside);
    EXPECT_TRUE(findThrew);
    EXPECT_TRUE(heldControlThrew);
    EXPECT_TRUE(window->IsClosed());
    EXPECT_EQ(d::FindForm(), nullptr);
    EXPECT_EQ(sink.events, (std::vector<std::string>{"optOptions(2) click", "cmdExit click"}))
        << "nothing is delivered after the close";
}

TEST_F(Win32ToolkitTest, OtherWindowsOfTheThreadWaitWhileTheWindowIsUp) {
    HostWindow enabled(true), disabled(false);
    d::Script script;
    script.Then([&] {
        EXPECT_FALSE(IsWindowEnabled(enabled.hwnd));
        EXPECT_FALSE(IsWindowEnabled(disabled.hwnd));
        EXPECT_TRUE(IsWindowEnabled(d::FindForm()));
        EXPECT_TRUE(IsWindowVisible(d::FindForm()));
        d::Click("cmdExit");
    });
    RunWith(script);
    EXPECT_TRUE(IsWindowEnabled(enabled.hwnd));
    EXPECT_FALSE(IsWindowEnabled(disabled.hwnd)) << "a window disabled before stays disabled";
}

TEST_F(Win32ToolkitTest, QuitRequestEndsTheModalLoopAndIsPassedOn) {
    HostWindow host(true);
    d::Script script;
    script.Then([] { PostQuitMessage(7); });
    RunWith(script);
    EXPECT_TRUE(window->IsClosed());
    EXPECT_EQ(d::FindForm(), nullptr);
    EXPECT_TRUE(IsWindowEnabled(host.hwnd));
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(Win32ToolkitTest, PendingEventsPassAQuitRequestOn) {
    PostQuitMessage(3);
    window->DoEvents();
    EXPECT_FALSE(window->IsClosed());
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(Win32ToolkitTest, MessageBoxIsOwnedTitledAndOkOnly) {
    struct Seen {
        std::string title, text;
        int buttons = 0;
        HWND owner = nullptr;
    };
    for (bool closedFirst : {false, true}) {
        SCOPED_TRACE(closedFirst ? "after close" : "open");
        if (closedFirst) window->Close();
        Seen seen;
        d::Script script;
        script.Until([&] {
            HWND box = d::FindMessageBox();
            if (!box) return false;
            seen = {d::MessageBoxTitle(box), d::MessageBoxText(box), d::MessageBoxButtons(box), GetWindow(box, GW_OWNER)};
            d::PressOk(box);
            return true;
        });
        script.Start();
        HWND form = d::FindForm();
        window->ShowMessage("C:\\MaximDL\\20240101\\M31 Path Created");
        script.Stop();
        EXPECT_TRUE(script.problems.empty());
        EXPECT_EQ(seen.title, "Starwright");
        EXPECT_EQ(seen.text, "C:\\MaximDL\\20240101\\M31 Path Created");
        EXPECT_EQ(seen.buttons, 1);
        EXPECT_EQ(seen.owner, form);
    }
}

// The form's window classes are the process's while a form on any thread is open: forms
// loaded and closed on two threads at once never lose them under an open form, and once the
// last one has closed (its object may live on) none is left registered. A broken count shows
// only now and then here: four threads of 3,000 forms each caught the unguarded one.
TEST(Win32ToolkitThreadsTest, FormsOnTwoThreadsShareTheWindowClasses) {
    static const FormDescription bare{"frmBare", "Bare", 1000, 1000, {}};
    std::atomic<int> failures{0};
    auto showAndClose = [&failures] {
        for (int i = 0; i < 200; ++i) {
            try {
                RecordingSink sink;
                Win32Toolkit toolkit;
                toolkit.Load(bare, sink)->Close();
            } catch (...) {
                ++failures;
            }
        }
    };
    std::thread first(showAndClose), second(showAndClose);
    first.join();
    second.join();
    EXPECT_EQ(failures.load(), 0);
    RecordingSink sink;
    Win32Toolkit toolkit;
    auto closed = toolkit.Load(bare, sink);
    closed->Close();
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    for (const wchar_t* name : {kWin32FormClass, kWin32FrameClass})
        EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), name, &info)) << "a class left registered";
}

}  // namespace
}  // namespace starwright
