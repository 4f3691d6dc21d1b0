#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/window_fixture.h"
#include "tools/fits_key.h"

namespace starwright {
namespace {

using Names = std::vector<std::string>;

class FitsKey : public ::testing::Test, protected WindowFixture {
protected:
    // Opens the documents, loads the window and chooses "Handy FITS", which lists them.
    void Open(const Names& documents) {
        for (const auto& name : documents) host.AddDocument(name);
        form.Load();
        window = &Window();
        window->Click("optOptions", 2);
        host.calls.clear();
    }

    void Pick(int16_t leftPosition) {
        window->Select("lstImagesBin", leftPosition);
        window->DoubleClick("lstImagesBin");
    }

    void Update(const std::string& key, const std::string& value, int16_t type = 0) {
        window->Type("txtKey", key);
        window->Type("txtKeyValue", value);
        window->Select("cmbType", type);
        window->Click("cmdSet");
    }

    bool Updated() { return form.Find("txtMessage4").GetVisible(); }
    std::optional<std::string> Keyword(size_t document, const std::string& key) {
        return host.documents[document].header.ValueText(key);
    }

    HeadlessWindow* window = nullptr;
};

TEST_F(FitsKey, DoubleClickMovesTheSelectedEntryToTheEndOfTheOtherList) {
    Open({"a.fit", "b.fit", "c.fit", "b.fit"});
    Pick(1);
    EXPECT_EQ(Entries("lstImagesBin"), (Names{"a.fit", "c.fit", "b.fit"}));
    EXPECT_EQ(Entries("lstSelectedBin"), (Names{"b.fit"}));
    Pick(2);
    Pick(0);
    EXPECT_EQ(Entries("lstImagesBin"), (Names{"c.fit"}));
    EXPECT_EQ(Entries("lstSelectedBin"), (Names{"b.fit", "b.fit", "a.fit"}));
    window->Select("lstSelectedBin", 2);
    window->DoubleClick("lstSelectedBin");
    EXPECT_EQ(Entries("lstImagesBin"), (Names{"c.fit", "a.fit"}));
    EXPECT_EQ(Entries("lstSelectedBin"), (Names{"b.fit", "b.fit"}));
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(FitsKey, DoubleClickWithNothingSelectedMovesNothing) {
    Open({"a.fit", "b.fit"});
    window->DoubleClick("lstImagesBin");
    window->DoubleClick("lstSelectedBin");  // empty as well
    Pick(0);
    window->Select("lstImagesBin", -1);
    window->DoubleClick("lstImagesBin");
    EXPECT_EQ(Entries("lstImagesBin"), (Names{"b.fit"}));
    EXPECT_EQ(Entries("lstSelectedBin"), (Names{"a.fit"}));
    EXPECT_TRUE(window->messages.empty());
}

TEST_F(FitsKey, MoveAllAppendsInOrderAndEmptiesTheSource) {
    Open({"a.fit", "b.fit", "c.fit", "a.fit"});
    Pick(2);
    window->Click("cmdBinMove", 0);
    EXPECT_EQ(Entries("lstImagesBin"), Names{});
    EXPECT_EQ(Entries("lstSelectedBin"), (Names{"c.fit", "a.fit", "b.fit", "a.fit"}));
    window->Click("cmdBinMove", 0);
    EXPECT_EQ(Entries("lstSelectedBin"), (Names{"c.fit", "a.fit", "b.fit", "a.fit"}));

    window->Select("lstSelectedBin", 0);
    window->DoubleClick("lstSelectedBin");
    window->Click("cmdBinMove", 3);
    EXPECT_EQ(Entries("lstImagesBin"), (Names{"c.fit", "a.fit", "b.fit", "a.fit"}));
    EXPECT_EQ(Entries("lstSelectedBin"), Names{});

    fits_key::cmdBinMove_Click(form, 1);
    fits_key::cmdBinMove_Click(form, 2);
    EXPECT_EQ(Entries("lstImagesBin"), (Names{"c.fit", "a.fit", "b.fit", "a.fit"}));
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(FitsKey, UpdateWritesThePickedDocumentsThroughOneApplication) {
    Open({"a.fit", "b.fit", "c.fit"});
    Pick(2);
    Pick(0);
    Update("SET-TEMP", "12");
    EXPECT_EQ(host.CallTexts(), (Names{
        "create Application",
        "Application.Documents get",
        "Documents.Count get",
        "Documents.Item get I2 1",
        "Document(1).DisplayName get",
        "Documents.Item get I2 2",
        "Document(2).DisplayName get",
        "Documents.Item get I2 3",
        "Document(3).DisplayName get",
        "Documents.Item get I2 3",
        "Document(3).SetFITSKey call Bstr \"SET-TEMP\" R8 12",
        "Documents.Count get",
        "Documents.Item get I2 1",
        "Document(1).DisplayName get",
        "Documents.Item get I2 1",
        "Document(1).SetFITSKey call Bstr \"SET-TEMP\" R8 12",
    }));
    EXPECT_EQ(Keyword(0, "SET-TEMP"), "12.0");
    EXPECT_EQ(Keyword(1, "SET-TEMP"), std::nullopt);
    EXPECT_EQ(Keyword(2, "SET-TEMP"), "12.0");
    EXPECT_TRUE(Updated());
    EXPECT_EQ(Entries("lstImagesBin"), (Names{"b.fit"}));
    EXPECT_EQ(Entries("lstSelectedBin"), (Names{"c.fit", "a.fit"}));
    EXPECT_TRUE(window->messages.empty());
}

TEST_F(FitsKey, ValueGoesAsTheChosenType) {
    struct Case {
        int16_t type;
        const char* text;
        const char* sent;
        const char* card;
    };
    const Case cases[] = {
        {0, "12", "R8 12", "12.0"},
        {0, " -12.5 ", "R8 -12.5", "-12.5"},
        {0, "1,234.5", "R8 1234.5", "1234.5"},
        {1, "3.5", "I4 4", "4"},
        {1, "2.5", "I4 2", "2"},
        {1, "-40000", "I4 -40000", "-40000"},
        {2, "12", "Bstr \"12\"", "'12      '"},
        {2, "", "Bstr \"\"", "'        '"},
        {-1, "M 31", "Bstr \"M 31\"", "'M 31    '"},
    };
    Open({"a.fit"});
    Pick(0);
    for (const Case& c : cases) {
        host.calls.clear();
        Update("KEY", c.text, c.type);
        EXPECT_EQ(host.CallTexts("Document(1).SetFITSKey"),
                  Names{std::string("Document(1).SetFITSKey call Bstr \"KEY\" ") + c.sent})
            << c.text;
        EXPECT_EQ(Keyword(0, "KEY"), c.card) << c.text;
        EXPECT_TRUE(Updated()) << c.text;
    }
    EXPECT_TRUE(window->messages.empty());
}

TEST_F(FitsKey, EachEntryOfANameWritesItsOwnDocumentOfThatName) {
    Open({"m31.fit", "m31.fit", "M31.FIT"});
    Pick(1);
    Update("OBJECT", "M31", 2);
    EXPECT_EQ(host.CallTexts("Document("), (Names{"Document(1).DisplayName get",
                                                   "Document(1).SetFITSKey call Bstr \"OBJECT\" Bstr \"M31\""}));
    Pick(0);
    host.calls.clear();
    Update("OBJECT", "M33", 2);
    EXPECT_EQ(host.CallTexts("Document(1).SetFITSKey").size(), 1u);
    EXPECT_EQ(host.CallTexts("Document(2).SetFITSKey").size(), 1u);
    EXPECT_TRUE(host.CallTexts("Document(3)").empty());  // differs in case only: never compared equal
    EXPECT_EQ(Keyword(0, "OBJECT"), "'M33     '");
    EXPECT_EQ(Keyword(1, "OBJECT"), "'M33     '");
    EXPECT_EQ(Keyword(2, "OBJECT"), std::nullopt);
    EXPECT_TRUE(Updated());
}

// "Updated" means that every picked image holds the keyword; whatever falls short is said.
TEST_F(FitsKey, AnUpdateThatCannotWriteEveryPickedImageSaysWhichAndIsNotUpdated) {
    const std::string notOpen = "The keyword was not written into this picked image, which is not open any more:\n";
    const std::string othersWritten = "\n\nThe other picked images were written.";
    struct Case {
        const char* name;
        Names documents;
        bool pickAll;
        Names closed;              // after the picking
        const char* value;
        std::string message;
        std::vector<bool> written;  // of the documents still open
    };
    const Case cases[] = {
        {"a picked image closed", {"a.fit", "b.fit"}, true, {"a.fit"}, "-20", notOpen + "a.fit" + othersWritten, {true}},
        {"one of two of a name closed", {"m31.fit", "m31.fit", "c.fit"}, true, {"m31.fit"}, "-20",
         notOpen + "m31.fit" + othersWritten, {true, true}},
        {"every picked image closed", {"a.fit", "b.fit"}, true, {"a.fit", "b.fit"}, "-20",
         "The keyword was not written into these picked images, which are not open any more:\na.fit\nb.fit", {}},
        {"nothing picked", {"a.fit"}, false, {}, "-20",
         "No image is picked: move the images to update into the list on the right (double-click a name, or All >>).",
         {false}},
        {"nothing open and a value that is not a number", {"a.fit"}, true, {"a.fit"}, "abc", "Type mismatch", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.documents.clear();
        Open(c.documents);
        if (c.pickAll) window->Click("cmdBinMove", 0);
        const Names picked = Entries("lstSelectedBin");
        for (const auto& name : c.closed) host.CloseDocument(name);
        host.AddDocument("other.fit");

        Update("SET-TEMP", c.value);

        EXPECT_EQ(window->messages, Names{c.message});
        EXPECT_FALSE(Updated());
        ASSERT_EQ(host.documents.size(), c.written.size() + 1);
        for (size_t document = 0; document < c.written.size(); ++document)
            EXPECT_EQ(Keyword(document, "SET-TEMP").has_value(), c.written[document]) << document;
        EXPECT_EQ(host.CallTexts("Document(" + std::to_string(host.documents.size()) + ").SetFITSKey"), Names{});
        EXPECT_EQ(Entries("lstSelectedBin"), picked);
    }
}

TEST_F(FitsKey, AValueThatDoesNotConvertIsReportedBeforeAnythingIsWritten) {
    struct Case {
        int16_t type;
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {0, "abc", "Type mismatch"},
        {0, "", "Type mismatch"},
        {1, "12 volts", "Type mismatch"},
        {1, "2147483648", "Overflow"},
        {0, "1e309", "Overflow"},
    };
    Open({"a.fit", "b.fit"});
    window->Click("cmdBinMove", 0);
    for (const Case& c : cases) {
        Update("SET-TEMP", "5");
        ASSERT_TRUE(Updated());
        host.calls.clear();
        window->messages.clear();
        Update("NEWKEY", c.text, c.type);
        EXPECT_EQ(window->messages, Names{c.message}) << c.text;
        EXPECT_TRUE(host.CallTexts("Document(1).SetFITSKey").empty()) << c.text;
        EXPECT_TRUE(host.CallTexts("Document(2)").empty()) << c.text;
        EXPECT_FALSE(Updated()) << c.text;
        EXPECT_EQ(Entries("lstSelectedBin"), (Names{"a.fit", "b.fit"}));
    }
    EXPECT_EQ(Keyword(0, "NEWKEY"), std::nullopt);
}

TEST_F(FitsKey, HostFailureMidUpdateKeepsEarlierWritesAndIsReported) {
    Open({"a.fit", "b.fit", "c.fit"});
    window->Click("cmdBinMove", 0);
    host.FailOn("Document(2).SetFITSKey", static_cast<int32_t>(0x80040400), "The image is read-only");
    Update("SET-TEMP", "-20");
    EXPECT_EQ(window->messages, Names{"The image is read-only"});
    EXPECT_EQ(Keyword(0, "SET-TEMP"), "-20.0");
    EXPECT_EQ(Keyword(1, "SET-TEMP"), std::nullopt);
    EXPECT_EQ(Keyword(2, "SET-TEMP"), std::nullopt);
    EXPECT_TRUE(host.CallTexts("Document(3)").empty());
    EXPECT_FALSE(Updated());
    EXPECT_EQ(Entries("lstImagesBin"), Names{});
    EXPECT_EQ(Entries("lstSelectedBin"), (Names{"a.fit", "b.fit", "c.fit"}));

    // The window stays usable: the next update runs to its end.
    Update("SET-TEMP", "-20");
    EXPECT_EQ(Keyword(2, "SET-TEMP"), "-20.0");
    EXPECT_TRUE(Updated());
    EXPECT_EQ(window->messages.size(), 1u);
}

TEST_F(FitsKey, ADocumentCountBeyond16BitsIsAnOverflow) {
    Open({"a.fit"});
    Pick(0);
    host.countOverride = 40000;
    Update("SET-TEMP", "1");
    EXPECT_EQ(window->messages, Names{"Overflow"});
    EXPECT_TRUE(host.CallTexts("Documents.Item").empty());
    EXPECT_FALSE(Updated());
}

TEST_F(FitsKey, TheKeyReachesTheHostAsTypedAndItsRefusalIsShown) {
    const char* keys[] = {"set-temp", " SET-TEMP", "SET TEMP", "EXPOSURE1"};
    Open({"a.fit"});
    Pick(0);
    for (const char* key : keys) {
        host.calls.clear();
        window->messages.clear();
        Update(key, "1");
        EXPECT_EQ(host.CallTexts("Document(1).SetFITSKey"),
                  Names{std::string("Document(1).SetFITSKey call Bstr \"") + key + "\" R8 1"});
        ASSERT_EQ(window->messages.size(), 1u) << key;
        EXPECT_NE(window->messages[0].find(std::string("\"") + key + "\""), std::string::npos) << window->messages[0];
        EXPECT_FALSE(Updated()) << key;
    }
    EXPECT_TRUE(host.documents[0].header.Cards().empty());
}

}  // namespace
}  // namespace starwright
