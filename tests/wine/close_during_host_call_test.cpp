// The window closed inside a host call, through the real window and message queue: the
// COM-served simulated host posts the user's click (or the close box) and lets the messages
// run inside its call, as a real host does while it works. The handler that made the call must
// make no further host call and show nothing. A representative set of the calls the native
// test closes the window in, one per handler, and the lookups of a document member's name that
// the binding makes before calling it, which reach into the host too.

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/wine/folder_support.h"
#include "tests/wine/window_fixture.h"

namespace starwright {
namespace {

namespace d = driver;

void RunPendingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

struct Case {
    const char* name;
    const char* call;  // the host call the window closes in, and its occurrence from the act on
    int nth;           // 0: a member name's lookup ("Document(1).SetFITSKey"), the first one
    const char* closer;  // a button, or nullptr for the close box
    std::function<void()> arrange;
    std::function<void()> act;
};

class CloseDuringHostCallTest : public ComHostedWindowTest {};

TEST_F(CloseDuringHostCallTest, TheHandlerMakesNoFurtherCall) {
    const std::string home = test::ScratchFolder("starwright-close-during-call");
    const Case cases[] = {
        {"Start, End inside the link request", "Camera.Connected put", 1, "cmdQuit", [] { d::Click("optOptions", 1); },
         [] { d::Click("cmdStart"); }},
        {"phase change, End inside the temperature read", "Camera.SensorTemperature get", 1, "cmdQuit",
         [] {
             d::Click("optOptions", 1);
             d::Click("cmdStart");
             for (int tick = 1; tick < 600; ++tick) d::Tick();
         },
         [] { d::Tick(); }},
        {"listing, Exit inside the second fetch", "Documents.Item get I2 2", 1, "cmdExit", [] {},
         [] { d::Click("optOptions", 2); }},
        {"keyword update, close box inside the fetch of the document to write", "Documents.Item get I2 1", 2, nullptr,
         [] {
             d::Click("optOptions", 2);
             d::Click("cmdBinMove", 0);
             d::Type("txtKey", "SET-TEMP");
             d::Type("txtKeyValue", "1");
         },
         [] { d::Click("cmdSet"); }},
        {"keyword update, Exit inside the lookup of SetFITSKey", "Document(1).SetFITSKey", 0, "cmdExit",
         [] {
             d::Click("optOptions", 2);
             d::Click("cmdBinMove", 0);
             d::Type("txtKey", "SET-TEMP");
             d::Type("txtKeyValue", "1");
         },
         [] { d::Click("cmdSet"); }},
        {"listing, Exit inside the lookup of the first name", "Document(1).DisplayName", 0, "cmdExit", [] {},
         [] { d::Click("optOptions", 2); }},
        {"Create Path, close box inside the link check", "Camera.Connected get", 1, nullptr,
         [&] {
             d::Type("txtPath", home);
             d::Type("txtObject", "M31");
         },
         [] { d::Click("cmdCreate"); }},
    };
    for (const char* name : {"A.fit", "B.fit"}) host.AddDocument(name);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.camera = {};
        std::size_t callsAtClose = 0;
        bool closed = false;
        d::Script script;
        script.Then([&] {
            c.arrange();
            auto close = [&] {
                if (c.closer) PostMessageW(d::Control(c.closer), BM_CLICK, 0, 0);
                else PostMessageW(d::FindForm(), WM_SYSCOMMAND, SC_CLOSE, 0);
                RunPendingMessages();
                closed = d::FindForm() == nullptr;
                callsAtClose = host.calls.size();
            };
            if (c.nth > 0) host.PumpOn(c.call, close, c.nth);
            else host.onNameLookup = [&](const std::string& lookup) {
                if (lookup == c.call && !closed) close();
            };
            c.act();
        });
        ShowWith(script);
        EXPECT_TRUE(closed);
        EXPECT_EQ(host.calls.size(), callsAtClose) << "next call: " << host.calls.back().ToString();
        EXPECT_EQ(d::FindMessageBox(), nullptr);
        host.pumps.clear();
        host.onNameLookup = nullptr;
    }
    test::RemoveFolderTree(home);
}

}  // namespace
}  // namespace starwright
