// A real host lets window messages run inside its own calls, so any click can run inside any
// host call a handler makes. For every host call of every handler, the window is closed inside
// that call ("Exit", "&End", or "Exit" and then the host showing the window again): the handler
// must make no further host call and touch nothing, neither the window nor the cool-down's
// counters. A user who changes the window's inputs inside a host call does not change what the
// running handler writes either: it works from what the window held when it was clicked.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/tool_session.h"

namespace starwright {
namespace {

using Session = ToolSession;

struct Handler {
    const char* name;
    std::function<void(Session&)> arrange;
    std::function<void(Session&)> act;
    bool endInReach;  // "&End" is on the frame shown
};

void Start(Session& s) { s.Start(); }
// Both open images picked for SET-TEMP = -20.
void PickAllForTheKeyword(Session& s) {
    s.Ui().Click("optOptions", 2);
    s.Ui().Click("cmdBinMove", 0);
    s.Ui().Type("txtKey", "SET-TEMP");
    s.Ui().Type("txtKeyValue", "-20");
}

const Handler kHandlers[] = {
    {"Start", [](Session& s) { s.Ui().Click("optOptions", 1); }, [](Session& s) { s.Ui().Click("cmdStart"); }, true},
    {"tick", Start, [](Session& s) { s.Ticks(1); }, true},
    {"phase change", [](Session& s) { Start(s), s.Ticks(599); }, [](Session& s) { s.Ticks(1); }, true},
    {"end of the run", [](Session& s) { Start(s), s.Ticks(719); }, [](Session& s) { s.Ticks(1); }, true},
    {"End", Start, [](Session& s) { s.Ui().Click("cmdQuit"); }, false},
    {"listing", [](Session&) {}, [](Session& s) { s.Ui().Click("optOptions", 2); }, false},
    {"keyword update", PickAllForTheKeyword,
     [](Session& s) { s.Ui().Click("cmdSet"); }, false},
    {"Create Path", [](Session& s) { s.Ui().Type("txtObject", "M31"); }, [](Session& s) { s.Ui().Click("cmdCreate"); },
     false},
};

enum class Closer { Exit, End, ExitAndShowAgain };

TEST(CloseDuringHostCall, TheHandlerMakesNoFurtherCallAndTouchesNothing) {
    for (const Handler& handler : kHandlers) {
        // The handler's own calls, undisturbed.
        std::vector<std::string> calls;
        {
            Session s;
            handler.arrange(s);
            const std::size_t before = s.host.calls.size();
            handler.act(s);
            for (std::size_t i = before; i < s.host.calls.size(); ++i) calls.push_back(s.host.calls[i].ToString());
        }
        ASSERT_FALSE(calls.empty()) << handler.name;

        std::vector<Closer> closers = {Closer::Exit, Closer::ExitAndShowAgain};
        if (handler.endInReach) closers.push_back(Closer::End);
        for (std::size_t at = 0; at < calls.size(); ++at) {
            // The occurrence of this call text among the handler's calls.
            const int nth = static_cast<int>(std::count(calls.begin(), calls.begin() + at + 1, calls[at]));
            for (const Closer closer : closers) {
                const char* by = closer == Closer::End ? "End" : closer == Closer::Exit ? "Exit" : "Exit, shown again";
                SCOPED_TRACE(std::string(handler.name) + ", inside \"" + calls[at] + "\" #" + std::to_string(nth) +
                             ", closed by " + by);
                Session s;
                handler.arrange(s);
                s.toolkit.headless.onModal = [](HeadlessWindow& w) { w.Click("cmdExit"); };
                HeadlessWindow& ui = s.Ui();
                bool closed = false;
                std::size_t callsAtClose = 0;
                int16_t timeLeft = 0;
                bool firstPhase = false;
                // Counted from the arrangement on: pumps match calls from now.
                s.host.PumpOn(calls[at], [&] {
                    ui.Click(closer == Closer::End ? "cmdQuit" : "cmdExit");
                    if (closer == Closer::ExitAndShowAgain) s.form.Show();
                    closed = !s.form.IsLoaded();
                    callsAtClose = s.host.calls.size();
                    timeLeft = s.form.TimeLeft;
                    firstPhase = s.form.FirstPhase;
                }, nth);
                handler.act(s);

                ASSERT_TRUE(closed);
                EXPECT_EQ(s.host.calls.size(), callsAtClose) << "next call: " << s.host.calls.back().ToString();
                EXPECT_EQ(s.toolkit.usesAfterClose, 0);
                EXPECT_EQ(s.form.TimeLeft, timeLeft);
                EXPECT_EQ(s.form.FirstPhase, firstPhase);
                EXPECT_FALSE(s.form.IsLoaded());
            }
        }
    }
}

TEST(InputDuringHostCall, TheRunningHandlerKeepsWhatItWasClickedWith) {
    struct Case {
        const char* name;
        std::function<void(Session&)> arrange;
        const char* act;
        const char* inside;
        std::function<void(HeadlessWindow&)> edit;
        const char* wrote;
        std::vector<std::string> expected;  // how each call that writes ends
    };
    const Case cases[] = {
        {"keyword update, a picked image moved back and the key and value retyped", PickAllForTheKeyword,
         "cmdSet", "Document(1).SetFITSKey",
         [](HeadlessWindow& ui) {
             ui.Select("lstSelectedBin", 0);
             ui.DoubleClick("lstSelectedBin");
             ui.Type("txtKey", "OTHER");
             ui.Type("txtKeyValue", "5");
         },
         "Document(",
         {"Document(1).SetFITSKey call Bstr \"SET-TEMP\" R8 -20", "Document(2).SetFITSKey call Bstr \"SET-TEMP\" R8 -20"}},
        {"Create Path, the image name retyped while the camera links",
         [](Session& s) { s.Ui().Type("txtObject", "M31"); }, "cmdCreate", "Camera.Connected put",
         [](HeadlessWindow& ui) { ui.Type("txtObject", "M33"); }, "Camera.AutoSaveName",
         {"\\M31\\M31\""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session s;
        c.arrange(s);
        HeadlessWindow& ui = s.Ui();
        s.host.PumpOn(c.inside, [&] { c.edit(ui); });
        ui.Click(c.act);
        std::vector<std::string> wrote;
        for (const std::string& call : s.host.CallTexts(c.wrote))
            if (call.find(" put ") != std::string::npos || call.find(".SetFITSKey ") != std::string::npos)
                wrote.push_back(call);
        EXPECT_EQ(wrote.size(), c.expected.size()) << testing::PrintToString(wrote);
        for (std::size_t i = 0; i < std::min(wrote.size(), c.expected.size()); ++i)
            EXPECT_TRUE(wrote[i].ends_with(c.expected[i])) << wrote[i];
        EXPECT_TRUE(ui.messages.empty() || ui.messages.back().find("Path Created") != std::string::npos)
            << ui.messages.back();
    }
}

}  // namespace
}  // namespace starwright
