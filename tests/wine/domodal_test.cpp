// The plug-in as a host meets it: Starwright.dll loaded into a process that serves the
// (simulated) host's classes, a PlugIn object from its class factory, DoModal called with the
// active document, and the real window driven from inside the modal loop.

#include <gtest/gtest.h>
#include <windows.h>
#include <wrl/client.h>

#include <algorithm>
#include <memory>

#include "host/sim/com/sim_com_server.h"
#include "host/sim/sim_host.h"
#include "plugin/identifiers.h"
#include "tests/wine/plugin_test_support.h"
#include "tests/wine/window_driver.h"

namespace starwright {
namespace {

using Microsoft::WRL::ComPtr;
namespace drive = driver;

// One host for the whole process, as in a real session: the plug-in's window object, and the
// camera it holds, live as long as the module stays loaded.
struct Session {
    sim::SimHost host;
    std::unique_ptr<sim::SimComServer> server;
    HMODULE module = nullptr;
    ComPtr<IDispatch> plugIn;
};
Session* session = nullptr;

class DoModalTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        session = new Session;
        session->server = std::make_unique<sim::SimComServer>(session->host);
        ASSERT_EQ(session->server->Register(), S_OK);
        session->module = LoadLibraryW(test::BesideTest(L"Starwright.dll").c_str());
        ASSERT_NE(session->module, nullptr);
        auto getClassObject = test::ExportOf<test::GetClassObjectFn>(session->module, "DllGetClassObject");
        ASSERT_NE(getClassObject, nullptr);
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(getClassObject(plugin::kPlugInClsid, IID_PPV_ARGS(&factory)), S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&session->plugIn)), S_OK);
    }

    void SetUp() override {
        ASSERT_NE(session, nullptr);
        sim::SimHost& host = session->host;
        host.documents.clear();
        host.faults.clear();
        host.countOverride.reset();
        for (const char* name : {"M31_L_001.fit", "M31_L_002.fit", "NGC7000.fit"}) host.AddDocument(name);
        mark_ = host.calls.size();
    }

    sim::SimHost& Host() { return session->host; }

    // The calls the host has seen since the test began.
    std::vector<std::string> Calls() const {
        std::vector<std::string> texts;
        for (size_t i = mark_; i < session->host.calls.size(); ++i) texts.push_back(session->host.calls[i].ToString());
        return texts;
    }

    // The active document, as the host passes it: the first open image.
    ComPtr<IDispatch> ActiveDocument() {
        ComPtr<IDispatch> application;
        EXPECT_EQ(CoCreateInstance(CLSID{0x3BEEE75E, 0xCEE3, 0x11D3, {0x8D, 0x21, 0x00, 0x60, 0x67, 0x66, 0x1C, 0xE9}},
                                   nullptr, CLSCTX_SERVER, IID_PPV_ARGS(&application)),
                  S_OK);
        test::OwnedVariant documents, document, index;
        DISPPARAMS none{};
        application->Invoke(12, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &documents.value, nullptr, nullptr);
        index.value.vt = VT_I2;
        index.value.iVal = 1;
        DISPPARAMS one{&index.value, nullptr, 1, 0};
        documents.value.pdispVal->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &one, &document.value, nullptr, nullptr);
        mark_ = session->host.calls.size();
        return ComPtr<IDispatch>(document.value.pdispVal);
    }

    // Calls DoModal through IDispatch, as an automation host does, while the script runs.
    HRESULT DoModal(IDispatch* document, drive::Script& script) {
        VARIANT doc;
        doc.vt = VT_DISPATCH;
        doc.pdispVal = document;
        DISPPARAMS params{&doc, nullptr, 1, 0};
        script.Start();
        const HRESULT hr = session->plugIn->Invoke(plugin::kDispIdDoModal, IID_NULL, 0, DISPATCH_METHOD, &params,
                                                   nullptr, nullptr, nullptr);
        script.Stop();
        EXPECT_TRUE(script.problems.empty()) << script.problems.front();
        EXPECT_EQ(drive::FindForm(), nullptr) << "DoModal returned while the window was still open";
        return hr;
    }

    std::vector<std::string> VisibleFrames() {
        std::vector<std::string> frames;
        for (const char* name : {"vHandyPath", "vHandyStart", "vBin"})
            if (drive::IsShown(name)) frames.push_back(name);
        return frames;
    }

    void ExpectInitialState() {
        EXPECT_EQ(VisibleFrames(), std::vector<std::string>{"vHandyPath"});
        EXPECT_TRUE(drive::IsChecked("optOptions", 0));
        EXPECT_FALSE(drive::IsChecked("optOptions", 2));
        EXPECT_EQ(drive::Text("txtPath"), "C:\\MaximDL\\");
        EXPECT_EQ(drive::Text("txtObject"), "");
        EXPECT_EQ(drive::Text("txtMessage1"), "None");
        EXPECT_EQ(drive::Text("lblTime"), "0");
        EXPECT_TRUE(drive::ListEntries("lstImagesBin").empty());
        EXPECT_EQ(drive::ListIndex("cmbType"), -1);
        EXPECT_TRUE(drive::IsEnabled("cmdStart"));
    }

    size_t mark_ = 0;
};

TEST_F(DoModalTest, ShowsTheWindowSwitchesToolsAndListsDocumentsThroughTheHost) {
    ComPtr<IDispatch> document = ActiveDocument();
    HWND other = CreateWindowExW(0, L"STATIC", L"host main window", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 200, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    drive::Script script;
    script.Until([] { return drive::FindForm() != nullptr; })
        .Then([&] {
            ExpectInitialState();
            EXPECT_FALSE(IsWindowEnabled(other)) << "the host's windows are disabled while the tool window is up";
            EXPECT_TRUE(Calls().empty()) << "showing the window touches nothing of the host";
            drive::Click("optOptions", 1);
            EXPECT_EQ(VisibleFrames(), std::vector<std::string>{"vHandyStart"});
            drive::Click("optOptions", 2);
            EXPECT_EQ(VisibleFrames(), std::vector<std::string>{"vBin"});
            EXPECT_EQ(drive::ListEntries("lstImagesBin"),
                      (std::vector<std::string>{"M31_L_001.fit", "M31_L_002.fit", "NGC7000.fit"}));
            EXPECT_EQ(drive::ListIndex("cmbType"), 0);
            drive::Click("optOptions", 0);
            EXPECT_EQ(VisibleFrames(), std::vector<std::string>{"vHandyPath"});
            drive::Click("cmdExit");
        });
    EXPECT_EQ(DoModal(document.Get(), script), S_OK);
    EXPECT_TRUE(IsWindowEnabled(other)) << "the host's windows are enabled again after closing";
    DestroyWindow(other);
    EXPECT_EQ(Calls(), (std::vector<std::string>{
                           "create Application", "Application.Documents get", "Documents.Count get",
                           "Documents.Item get I2 1", "Document(1).DisplayName get",
                           "Documents.Item get I2 2", "Document(2).DisplayName get",
                           "Documents.Item get I2 3", "Document(3).DisplayName get"}));
}

// Each showing starts from the initial state, whichever way the last one was closed, and the
// camera object made during one showing is the one the next showing uses.
TEST_F(DoModalTest, EveryShowingStartsAfreshButKeepsTheCamera) {
    ComPtr<IDispatch> document = ActiveDocument();
    drive::Script first;
    first.Until([] { return drive::FindForm() != nullptr; }).Then([] {
        drive::Type("txtObject", "M51");
        drive::Click("optOptions", 1);
        drive::Click("cmdQuit");  // "&End" reaches the camera, creating it
    });
    EXPECT_EQ(DoModal(document.Get(), first), S_OK);

    drive::Script second;
    second.Until([] { return drive::FindForm() != nullptr; }).Then([&] {
        ExpectInitialState();
        drive::Click("optOptions", 1);
        EXPECT_EQ(drive::Text("txtMessage2"), "None");
        drive::PressCloseBox();
    });
    EXPECT_EQ(DoModal(nullptr, second), S_OK);

    drive::Script third;
    third.Until([] { return drive::FindForm() != nullptr; }).Then([] {
        drive::Click("optOptions", 1);
        drive::Click("cmdQuit");
    });
    EXPECT_EQ(DoModal(document.Get(), third), S_OK);

    const auto calls = Calls();
    EXPECT_LE(std::count(calls.begin(), calls.end(), "create Camera"), 1) << "the window keeps its camera";
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Camera.SignalRun call Bool True"), 2);
    size_t created = 0;
    for (const auto& call : session->host.calls) created += call.ToString() == "create Camera";
    EXPECT_EQ(created, 1u) << "one camera object for the module's life";
}

TEST_F(DoModalTest, AnEmptyDocumentBehavesLikeADocument) {
    drive::Script script;
    script.Until([] { return drive::FindForm() != nullptr; }).Then([&] {
        ExpectInitialState();
        drive::Click("cmdExit");
    });
    EXPECT_EQ(DoModal(nullptr, script), S_OK);
    EXPECT_TRUE(Calls().empty());
}

// The listing has no error trap of its own: its failure reaches the user in a message box,
// the window stays open on the keyword tool with what was listed so far, drawn.
TEST_F(DoModalTest, AListingFailureIsShownAndTheWindowStaysOpen) {
    Host().FailOn("Documents.Item get I2 2", static_cast<int32_t>(0x80040155), "The image list is not available");
    drive::Script script;
    script.Until([] { return drive::FindForm() != nullptr; })
        .Then([] { drive::Click("optOptions", 2); })  // blocks in the message box; the next steps run inside it
        .Until([] { return drive::FindMessageBox() != nullptr; })
        .Then([] {
            HWND box = drive::FindMessageBox();
            EXPECT_EQ(drive::MessageBoxText(box), "The image list is not available");
            EXPECT_EQ(drive::MessageBoxTitle(box), "Starwright");
            EXPECT_EQ(drive::MessageBoxButtons(box), 1);
            drive::PressOk(box);
        })
        .Until([] { return drive::FindMessageBox() == nullptr; })
        .Then([&] {
            ASSERT_NE(drive::FindForm(), nullptr);
            EXPECT_EQ(VisibleFrames(), std::vector<std::string>{"vBin"});
            EXPECT_EQ(drive::ListEntries("lstImagesBin"), std::vector<std::string>{"M31_L_001.fit"});
            EXPECT_EQ(drive::ListIndex("cmbType"), -1) << "the switch stopped before choosing the type";
            // The list draws itself again: a new entry marks it for drawing.
            HWND list = drive::Control("lstImagesBin");
            UpdateWindow(list);
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"drawn"));
            EXPECT_TRUE(GetUpdateRect(list, nullptr, FALSE)) << "the failed listing left the list undrawn";
            drive::Click("cmdExit");
        });
    EXPECT_EQ(DoModal(nullptr, script), S_OK);
}

}  // namespace
}  // namespace starwright
