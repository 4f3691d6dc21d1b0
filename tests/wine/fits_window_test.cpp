// "Handy FITS Key" through the real window: frmMain on the Win32 toolkit, the documents of the
// simulated host reached through the COM binding, and values converted by oleaut32 in the
// user's locale. Run once per locale; the first argument names it ("en" or "de").
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/wine/test_main.h"
#include "tests/wine/window_fixture.h"

namespace starwright {
namespace {

namespace d = driver;
using Names = std::vector<std::string>;

class FitsWindowTest : public ComHostedWindowTest {
protected:
    void SetUp() override {
        ComHostedWindowTest::SetUp();
        for (const char* name : {"m31.fit", "m42.fit", "ngc7000.fit"}) host.AddDocument(name);
    }

    // Shows the window with "Handy FITS" chosen, runs the steps, then closes it with "Exit".
    void Run(d::Script& script) {
        script.Then([] { d::Click("optOptions", 2); });
        for (auto& step : steps_) script.Then(step);
        script.Then([] { d::Click("cmdExit"); });
        ShowWith(script);
    }

    // Types the keyword, its value and type, and clicks "Update Fits Header".
    void Update(const std::string& key, const std::string& value, int type) {
        steps_.push_back([=] { d::Type("txtKey", key); });
        steps_.push_back([=] { d::Type("txtKeyValue", value); });
        steps_.push_back([=] { d::SelectComboEntry("cmbType", type); });
        steps_.push_back([] { d::Click("cmdSet"); });
    }

    std::optional<std::string> Keyword(size_t document, const std::string& key) {
        return host.documents[document].header.ValueText(key);
    }

    std::vector<std::function<void()>> steps_;
};

TEST_F(FitsWindowTest, PicksDocumentsUpdatesThemAndShowsUpdated) {
    Names left, right;
    bool updatedBefore = true, updatedAfter = false;
    steps_.push_back([] { d::DoubleClickEntry("lstImagesBin", 1); });      // m42 to the right
    steps_.push_back([] { d::Click("cmdBinMove", 0); });                    // the rest after it
    steps_.push_back([] { d::DoubleClickEntry("lstSelectedBin", 2); });    // ngc7000 back
    steps_.push_back([&] {
        updatedBefore = d::IsVisibleSet("txtMessage4");
        host.calls.clear();
    });
    Update("SET-TEMP", InGermanLocale() ? "-20,5" : "-20.5", 0);
    steps_.push_back([&] {
        left = d::ListEntries("lstImagesBin");
        right = d::ListEntries("lstSelectedBin");
        updatedAfter = d::IsShown("txtMessage4") && d::Text("txtMessage4") == "Updated";
    });
    d::Script script;
    Run(script);

    EXPECT_EQ(left, Names{"ngc7000.fit"});
    EXPECT_EQ(right, (Names{"m42.fit", "m31.fit"}));
    EXPECT_FALSE(updatedBefore);
    EXPECT_TRUE(updatedAfter);
    EXPECT_EQ(host.CallTexts("Document(").size(), 5u);  // m42 found at 2, m31 at 1
    EXPECT_EQ(host.CallTexts("Document(2).SetFITSKey"),
              Names{"Document(2).SetFITSKey call Bstr \"SET-TEMP\" R8 -20.5"});
    EXPECT_EQ(Keyword(0, "SET-TEMP"), "-20.5");
    EXPECT_EQ(Keyword(1, "SET-TEMP"), "-20.5");
    EXPECT_EQ(Keyword(2, "SET-TEMP"), std::nullopt);
}

TEST_F(FitsWindowTest, ValuesConvertInTheUserLocale) {
    struct Case {
        int type;
        const char* english;
        const char* german;
        const char* sent;
        const char* card;
    };
    const Case cases[] = {
        {0, "1.5", "1,5", "R8 1.5", "1.5"},
        {1, "2.5", "2,5", "I4 2", "2"},
        {2, "1.5", "1,5", InGermanLocale() ? "Bstr \"1,5\"" : "Bstr \"1.5\"",
         InGermanLocale() ? "'1,5     '" : "'1.5     '"},
    };
    steps_.push_back([] { d::DoubleClickEntry("lstImagesBin", 0); });
    std::vector<std::string> cards;
    for (const Case& c : cases) {
        Update("VALUE", InGermanLocale() ? c.german : c.english, c.type);
        steps_.push_back([&] { cards.push_back(Keyword(0, "VALUE").value_or("none")); });
    }
    d::Script script;
    Run(script);

    std::vector<std::string> sent, expectedSent, expectedCards;
    for (const auto& text : host.CallTexts("Document(1).SetFITSKey"))
        sent.push_back(text.substr(std::strlen("Document(1).SetFITSKey call Bstr \"VALUE\" ")));
    for (const Case& c : cases) {
        expectedSent.push_back(c.sent);
        expectedCards.push_back(c.card);
    }
    EXPECT_EQ(sent, expectedSent);
    EXPECT_EQ(cards, expectedCards);
}

TEST_F(FitsWindowTest, FailuresAreShownInAMessageBoxAndTheWindowStaysUsable) {
    struct Case {
        const char* key;
        const char* value;
        int type;
        const char* message;  // a part of the message box's text
    };
    const Case cases[] = {
        {"set-temp", "1", 0, "\"set-temp\" may hold only capital letters"},
        {"SET-TEMP", "warm", 0, "Type mismatch"},
        {"SET-TEMP", "3000000000", 1, "Overflow"},
    };
    std::vector<SeenMessageBox> boxes;
    std::vector<bool> updated;
    d::Script script;
    script.Then([] { d::Click("optOptions", 2); }).Then([] { d::Click("cmdBinMove", 0); });
    for (const Case& c : cases) {
        script.Then([=] { d::Type("txtKey", c.key); })
            .Then([=] { d::Type("txtKeyValue", c.value); })
            .Then([=] { d::SelectComboEntry("cmbType", c.type); })
            .Then([] { d::Click("cmdSet"); })
            .Until([&] {
                SeenMessageBox seen;
                if (!TakeMessageBox(seen)) return false;
                boxes.push_back(seen);
                return true;
            })
            .Then([&] { updated.push_back(d::IsVisibleSet("txtMessage4")); });
    }
    // Afterwards a good update runs to its end in the same window.
    script.Then([] { d::Type("txtKey", "SET-TEMP"); })
        .Then([] { d::Type("txtKeyValue", "-20"); })
        .Then([] { d::SelectComboEntry("cmbType", 0); })
        .Then([] { d::Click("cmdSet"); })
        .Then([&] { updated.push_back(d::IsShown("txtMessage4")); })
        .Then([] { d::Click("cmdExit"); });
    ShowWith(script);

    ASSERT_EQ(boxes.size(), std::size(cases));
    for (size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_NE(boxes[i].text.find(cases[i].message), std::string::npos) << boxes[i].text;
        EXPECT_EQ(boxes[i].title, "Starwright");
        EXPECT_EQ(boxes[i].buttons, 1);
    }
    EXPECT_EQ(updated, (std::vector<bool>{false, false, false, true}));
    for (size_t document = 0; document < 3; ++document) EXPECT_EQ(Keyword(document, "SET-TEMP"), "-20.0");
}

}  // namespace
}  // namespace starwright

// One single-threaded apartment, like the host's user-interface thread.
