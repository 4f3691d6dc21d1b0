// "Create Path" through the real window: frmMain on the Win32 toolkit, the real file APIs in
// the prefix's drive, and the camera reached through the COM binding of the simulated host.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/wine/folder_support.h"
#include "tests/wine/window_fixture.h"

namespace starwright {
namespace {

namespace d = driver;

using test::IsDirectory;
using test::SystemText;

class FolderWindowTest : public ComHostedWindowTest {
protected:
    // The early hours of 7 December file under the 6th.
    FolderWindowTest() : ComHostedWindowTest({2026, 12, 7, 1, 30, 0}) {}
    void SetUp() override {
        ComHostedWindowTest::SetUp();
        home_ = test::ScratchFolder("starwright-folder-window");
    }
    void TearDown() override { test::RemoveFolderTree(home_); }

    // Shows the window, types the two texts, clicks "Create Path", reads the message box that
    // follows and presses its OK. With `afterOk`, the window is expected to stay open: the
    // step runs, then "Exit" closes it.
    SeenMessageBox CreateWith(const std::string& home, const std::string& image, std::function<void()> afterOk = {}) {
        SeenMessageBox seen;
        d::Script script;
        script.Then([&] { d::Type("txtPath", home); })
            .Then([&] { d::Type("txtObject", image); })
            .Then([&] { d::Click("cmdCreate"); })
            .Until([&] { return TakeMessageBox(seen); });
        if (afterOk) {
            script.Then(afterOk).Then([] { d::Click("cmdExit"); });
        }
        ShowWith(script);
        return seen;
    }

    std::string home_;
};

TEST_F(FolderWindowTest, CreatesTheFoldersSetsUpTheCameraReportsAndCloses) {
    const std::string imageFolder = home_ + "20261206\\M31\\";
    const SeenMessageBox box = CreateWith(home_, "M31");

    EXPECT_TRUE(IsDirectory(imageFolder));
    EXPECT_EQ(box.text, imageFolder + " Path Created");
    EXPECT_EQ(box.title, "Starwright");
    EXPECT_EQ(box.buttons, 1);
    EXPECT_EQ(host.CallTexts("Camera."), (std::vector<std::string>{
                                              "Camera.PreLinkFlag put Bool True",
                                              "Camera.Connected get",
                                              "Camera.Connected put Bool True",
                                              "Camera.AutoSaveName put Bstr \"" + imageFolder + "M31\"",
                                              "Camera.AutoSaveStart put I2 1",
                                          }));
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_EQ(d::FindForm(), nullptr);
}

TEST_F(FolderWindowTest, FailuresAreShownAndTheWindowStaysOpen) {
    struct Case {
        const char* name;
        std::string home;
        const char* fault;  // a camera operation made to fail, or ""
        std::string message;
        size_t cameraCalls;
    } cases[] = {
        {"missing parent", home_ + "NoSuch\\Home\\", "", SystemText(ERROR_PATH_NOT_FOUND), 0},
        {"camera refuses the link", home_, "Camera.Connected put", "The camera is not responding", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.calls.clear();
        if (*c.fault) host.FailOn(c.fault, static_cast<int32_t>(0x80040005), "The camera is not responding");
        bool stayedOpen = false;
        const SeenMessageBox box =
            CreateWith(c.home, "M31", [&] { stayedOpen = d::FindForm() != nullptr && d::FindMessageBox() == nullptr; });

        EXPECT_EQ(box.text, c.message);
        EXPECT_EQ(box.title, "Starwright");
        EXPECT_EQ(box.buttons, 1);
        EXPECT_TRUE(stayedOpen);
        EXPECT_EQ(host.CallTexts("Camera.").size(), c.cameraCalls);
        EXPECT_EQ(IsDirectory(home_ + "20261206\\M31\\"), *c.fault != '\0') << "folders made before are kept";
    }
}

// A relative home path resolves against the host's current folder (here a scratch one), a
// folder of the home path or the image name can name a folder that Windows makes under another
// name or not at all, the image name can climb out of the date folder, and the host's file
// names can be too long to save: each is refused with its message before any folder is made or
// the camera is touched, and the window stays open for a corrected text.
TEST_F(FolderWindowTest, TextsThatWouldMakeFoldersElsewhereAreRefusedBeforeAnythingIsMade) {
    const std::string kHome = "The home path must be a full path, such as C:\\MaximDL\\ or \\\\server\\share\\MaximDL\\.";
    const std::string kHomeEnd = "A folder in the home path cannot end with a dot or a blank.";
    const std::string kHomeDevice = "The home path cannot use a device name such as CON, NUL, COM1 or LPT1.";
    const std::string kSeparator =
        "The image name cannot contain \\ or /: it names one folder and begins each image's file name.";
    const std::string kDots = "The image name cannot be . or ..";
    const std::string kCharacters = "The image name cannot contain any of these characters: : * ? \" < > |";
    const std::string kEnd = "The image name cannot end with a dot or a blank.";
    const std::string kDevice = "The image name cannot use a device name such as CON, NUL, COM1 or LPT1.";
    // A sibling of the scratch home whose name makes "<home>20261206\M31\M31" 248 UTF-16 units
    // long: one more than the host's file names leave room for. Wine's file APIs make such
    // folders; the host could save nothing in them on Windows, whose ntdll is the one asked
    // whether the process takes long paths (Wine 8's has no answer, so the classic limit holds).
    const std::string tooLongHome = home_.substr(0, home_.size() - 1) + std::string(232 - home_.size(), 'a') + "\\";
    const std::string kOneTooLong =
        "The images' file names would be 1 character too long for Windows: shorten the home path by 1 "
        "character or the image name by 1 (it is used twice).";
    const struct Case {
        std::string home, image, message;
    } cases[] = {
        {"Astro\\", "M31", kHome},
        {"C:Astro\\", "M31", kHome},
        {"", "M31", kHome},
        {"\\\\?\\" + home_, "M31", kHome},
        {"\\\\.\\" + home_, "M31", kHome},
        {home_ + "Astro \\", "M31", kHomeEnd},
        {home_ + "NUL\\", "M31", kHomeDevice},
        {home_, "M31\\Core", kSeparator},
        {home_, "..\\..\\Users\\Public\\M31", kSeparator},
        {home_, "..", kDots},
        {home_, "M31:Core", kCharacters},
        {home_, "CON", kDevice},
        {home_, "M31 ", kEnd},
        {tooLongHome, "M31", kOneTooLong},
    };
    const test::ScratchCurrentFolder current;
    std::vector<SeenMessageBox> seen(std::size(cases));
    d::Script script;
    for (size_t i = 0; i < std::size(cases); ++i) {
        script
            .Then([&, i] {
                d::Type("txtPath", cases[i].home);
                d::Type("txtObject", cases[i].image);
                d::Click("cmdCreate");
            })
            .Until([&, i] { return TakeMessageBox(seen[i]); });
    }
    script.Then([] { d::Click("cmdExit"); });
    ShowWith(script);

    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].home + " + " + cases[i].image);
        EXPECT_EQ(seen[i].text, cases[i].message);
    }
    EXPECT_EQ(test::FolderEntries(current.Path()), std::vector<std::string>{});
    EXPECT_FALSE(IsDirectory(home_));
    EXPECT_FALSE(IsDirectory(tooLongHome));
    EXPECT_EQ(host.CallTexts(), std::vector<std::string>{});
}

}  // namespace
}  // namespace starwright
