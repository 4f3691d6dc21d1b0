#include <gtest/gtest.h>

#include "tests/window_fixture.h"

namespace starwright {
namespace {

class WindowTest : public ::testing::Test, protected WindowFixture {
protected:
    HeadlessWindow& LoadWindow() {
        form.Load();
        return Window();
    }
    std::vector<std::string> LeftList() { return Entries("lstImagesBin"); }
    std::vector<std::string> VisibleFrames() {
        std::vector<std::string> frames;
        for (const char* name : {"vHandyPath", "vHandyStart", "vBin"})
            if (form.Find(name).GetVisible()) frames.push_back(name);
        return frames;
    }
};

TEST_F(WindowTest, LoadsEveryControlInItsInitialState) {
    LoadWindow();
    EXPECT_EQ(VisibleFrames(), std::vector<std::string>{"vHandyPath"});
    EXPECT_EQ(form.Find("optOptions", 0).GetValue(), 1);
    EXPECT_EQ(form.Find("optOptions", 1).GetValue(), 0);
    EXPECT_EQ(form.Find("txtPath").GetText(), "C:\\MaximDL\\");
    EXPECT_EQ(form.Find("txtObject").GetText(), "");
    EXPECT_EQ(form.Find("txtMessage1").GetCaption(), "None");
    EXPECT_EQ(form.Find("txtMessage2").GetCaption(), "None");
    for (const char* label : {"lblSetTemp", "lblTemp", "lblTime"}) EXPECT_EQ(form.Find(label).GetCaption(), "0");
    EXPECT_FALSE(form.Find("txtMessage4").GetVisible());
    EXPECT_EQ(form.Find("chkNoSet").GetValue(), 0);
    EXPECT_EQ(form.Find("cmbType").GetListIndex(), -1);
    EXPECT_EQ(form.Find("cmbType").GetListCount(), 3);
    EXPECT_TRUE(form.Find("cmdStart").GetEnabled());
    EXPECT_FALSE(form.Find("Timer1").GetEnabled());
    EXPECT_EQ(form.Find("Label6", 1).GetCaption(), "Loaded Images");
    EXPECT_EQ(form.Find("Label6", 3).GetCaption(), "Loaded Images");
    EXPECT_TRUE(host.calls.empty()) << "loading must not touch the host";
}

TEST_F(WindowTest, EachOptionShowsOnlyItsFrame) {
    HeadlessWindow& w = LoadWindow();
    const std::vector<std::pair<int16_t, std::string>> steps = {
        {2, "vBin"}, {0, "vHandyPath"}, {1, "vHandyStart"}, {2, "vBin"}, {1, "vHandyStart"}, {0, "vHandyPath"}};
    for (const auto& [index, frame] : steps) {
        w.Click("optOptions", index);
        EXPECT_EQ(VisibleFrames(), std::vector<std::string>{frame}) << "option " << index;
    }
    form.optOptions_Click(7);
    EXPECT_EQ(VisibleFrames(), std::vector<std::string>{"vHandyPath"});
}

TEST_F(WindowTest, ChoosingFitsListsDocumentsAndStartsInputsAfresh) {
    host.AddDocument("M31.fit");
    host.AddDocument("M42.fit");
    HeadlessWindow& w = LoadWindow();
    w.Click("optOptions", 2);
    EXPECT_EQ(host.CallTexts(), (std::vector<std::string>{
                                    "create Application", "Application.Documents get", "Documents.Count get",
                                    "Documents.Item get I2 1", "Document(1).DisplayName get",
                                    "Documents.Item get I2 2", "Document(2).DisplayName get"}));
    EXPECT_EQ(form.Find("cmbType").GetListIndex(), 0);

    w.Type("txtKey", "SET-TEMP");
    w.Type("txtKeyValue", "-20");
    form.Find("txtMessage4").SetVisible(true);
    form.Find("cmbType").SetListIndex(2);
    w.Click("optOptions", 0);
    w.Click("optOptions", 2);
    EXPECT_EQ(LeftList(), (std::vector<std::string>{"M31.fit", "M42.fit", "M31.fit", "M42.fit"}));
    EXPECT_EQ(form.Find("txtKey").GetText(), "");
    EXPECT_EQ(form.Find("txtKeyValue").GetText(), "");
    EXPECT_EQ(form.Find("cmbType").GetListIndex(), 0);
    EXPECT_FALSE(form.Find("txtMessage4").GetVisible());
}

TEST_F(WindowTest, NoOpenDocumentsFetchesNoItem) {
    LoadWindow().Click("optOptions", 2);
    EXPECT_TRUE(host.CallTexts("Documents.Item").empty());
    EXPECT_TRUE(LeftList().empty());
}

// A listing failure ends the switch where it happened: vBin shown, names so far kept, the
// inputs untouched, and the user told in a message box.
TEST_F(WindowTest, ListingFailuresStopTheSwitchAndAreShown) {
    struct Case {
        const char* operation;
        std::optional<int32_t> count;
        std::vector<std::string> listed;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"create Application", {}, {}, "ActiveX component can't create object"},
        {"Documents.Count", {}, {}, "Count failed"},
        {"Documents.Item get I2 2", {}, {"A.fit"}, "Item failed"},
        {"Document(3).DisplayName", {}, {"A.fit", "B.fit"}, "Name failed"},
        {"", 32768, {}, "Overflow"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        host.documents.clear();
        host.calls.clear();
        host.faults.clear();
        host.countOverride = c.count;
        for (const char* name : {"A.fit", "B.fit", "C.fit"}) host.AddDocument(name);
        if (*c.operation) host.FailOn(c.operation, 429, c.message);
        HeadlessWindow& w = LoadWindow();
        w.Type("txtKey", "KEPT");
        w.Click("optOptions", 2);
        EXPECT_EQ(VisibleFrames(), std::vector<std::string>{"vBin"});
        EXPECT_EQ(LeftList(), c.listed);
        EXPECT_EQ(form.Find("txtKey").GetText(), "KEPT");
        EXPECT_EQ(form.Find("cmbType").GetListIndex(), -1);
        EXPECT_EQ(w.messages, std::vector<std::string>{c.message});
        EXPECT_TRUE(form.IsLoaded());
    }
}

TEST_F(WindowTest, TheLargestCountIsListedToItsEnd) {
    for (int i = 1; i <= 32767; ++i) host.AddDocument("Image" + std::to_string(i));
    HeadlessWindow& w = LoadWindow();
    w.Click("optOptions", 2);
    EXPECT_TRUE(w.messages.empty());
    ASSERT_EQ(form.Find("lstImagesBin").GetListCount(), 32767);
    EXPECT_EQ(form.Find("lstImagesBin").GetListItem(32766), "Image32767");
    EXPECT_EQ(host.calls.back().ToString(), "Document(32767).DisplayName get");
}

TEST_F(WindowTest, TypedTextSurvivesSwitchingButNotClosing) {
    HeadlessWindow& w = LoadWindow();
    w.Type("txtObject", "M51");
    w.Type("txtPath", "D:\\Images\\");
    w.Click("optOptions", 1);
    w.Click("optOptions", 0);
    EXPECT_EQ(form.Find("txtObject").GetText(), "M51");
    EXPECT_EQ(form.Find("txtPath").GetText(), "D:\\Images\\");
    w.Click("cmdExit");
    EXPECT_FALSE(form.IsLoaded());

    LoadWindow();
    EXPECT_EQ(form.Find("txtObject").GetText(), "");
    EXPECT_EQ(form.Find("txtPath").GetText(), "C:\\MaximDL\\");
}

TEST_F(WindowTest, ExitAndTheCloseBoxBothEndTheShowing) {
    int showings = 0;
    toolkit.onModal = [&](HeadlessWindow& w) {
        ++showings;
        EXPECT_EQ(VisibleFrames(), std::vector<std::string>{"vHandyPath"});
        w.Click("optOptions", 1);
        if (showings == 1) w.Click("cmdExit");
        else w.CloseBox();
        EXPECT_TRUE(w.IsClosed());
    };
    form.Show();
    form.Show();
    EXPECT_EQ(showings, 2);
    EXPECT_EQ(toolkit.loads, 2);
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_TRUE(host.calls.empty()) << "closing does nothing to the host";
}

TEST_F(WindowTest, CameraSurvivesShowingsAndIsCreatedOnce) {
    LoadWindow();
    HostCamera* first = &form.Camera();
    form.Close();
    LoadWindow();
    EXPECT_EQ(&form.Camera(), first);
    EXPECT_EQ(host.CallTexts("create Camera").size(), 1u);
}

TEST_F(WindowTest, EventsAfterCloseAreNotDelivered) {
    HeadlessWindow& w = LoadWindow();
    const ControlDescription& exit = *FrmMainDescription().Find("cmdExit");
    w.Click("cmdExit");
    form.OnControlEvent(exit, ControlEvent::Click);
    form.OnControlEvent(*FrmMainDescription().Find("optOptions", 2), ControlEvent::Click);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(w.messages.empty());
}

// A host in another process lets window messages through while a call waits, and one of them
// may close the window. This one closes it during its `closeAt`th document-list call.
class ClosingDocuments final : public HostDocumentList {
public:
    ClosingDocuments(std::unique_ptr<HostDocumentList> inner, frmMain& form, int closeAt)
        : inner_(std::move(inner)), form_(form), left_(closeAt) {}
    int32_t GetCount() override { return Closing(inner_->GetCount()); }
    std::unique_ptr<HostDocument> GetItem(int16_t index) override { return Closing(inner_->GetItem(index)); }
    void GetItemDisplayName(int16_t index, std::string& name) override {
        inner_->GetItemDisplayName(index, name);
        Closing(0);
    }

private:
    template <typename T>
    T Closing(T answer) {
        if (--left_ == 0) form_.Close();
        return answer;
    }
    std::unique_ptr<HostDocumentList> inner_;
    frmMain& form_;
    int left_;
};

struct ClosingHost final : HostFactory, HostApplication {
    ClosingHost(HostFactory& inner, int closeAt) : inner(inner), closeAt(closeAt) {}
    std::unique_ptr<HostCamera> CreateCamera() override { return inner.CreateCamera(); }
    std::unique_ptr<HostApplication> CreateApplication() override {
        application = inner.CreateApplication();
        return std::make_unique<Forwarding>(*this);
    }
    std::unique_ptr<HostDocumentList> GetDocuments() override {
        return std::make_unique<ClosingDocuments>(application->GetDocuments(), *form, closeAt);
    }
    struct Forwarding final : HostApplication {
        explicit Forwarding(HostApplication& to) : to(to) {}
        std::unique_ptr<HostDocumentList> GetDocuments() override { return to.GetDocuments(); }
        HostApplication& to;
    };
    HostFactory& inner;
    int closeAt;
    std::unique_ptr<HostApplication> application;
    frmMain* form = nullptr;
};

// Closed under the listing (after the count, or after the second name), the window and its
// list are not touched again, nor is the host called again.
TEST_F(WindowTest, AWindowClosedDuringTheListingIsLeftAlone) {
    for (const char* name : {"A.fit", "B.fit", "C.fit"}) host.AddDocument(name);
    for (const int closeAt : {1, 3}) {
        SCOPED_TRACE(closeAt);
        host.calls.clear();
        ClosingHost closing(factory, closeAt);
        frmMain closingForm(closing, platform, toolkit);
        closing.form = &closingForm;
        closingForm.Load();
        HeadlessWindow& w = Window();
        w.Click("optOptions", 2);
        EXPECT_TRUE(w.IsClosed());
        EXPECT_TRUE(w.messages.empty());
        EXPECT_EQ(host.calls.back().ToString(), closeAt == 1 ? "Documents.Count get" : "Document(2).DisplayName get");
    }
}

}  // namespace
}  // namespace starwright
