#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/window_fixture.h"
#include "tools/date_text.h"

namespace starwright {
namespace {

namespace fs = std::filesystem;

constexpr char kPathNotFound[] = "The system cannot find the path specified.";

// Records each file system call with the number of host calls made before it, so a test can
// see the order of the folder work and that it all came before the camera; `before` runs ahead
// of each call with its record, as another program or a refusal of the system would.
class RecordingFileSystem final : public FileSystem {
public:
    explicit RecordingFileSystem(FileSystem& inner) : inner_(inner) {}
    // The host is made after the platform that holds this file system, so it comes in later.
    void Watch(const sim::SimHost& host) { host_ = &host; }
    bool Exists(const std::string& path) override {
        Record("exists " + path);
        return inner_.Exists(path);
    }
    void MakeDirectory(const std::string& path) override {
        Record("make " + path);
        inner_.MakeDirectory(path);
    }
    void CheckCanCreateFiles(const std::string& directory) override {
        Record("files in " + directory);
        inner_.CheckCanCreateFiles(directory);
    }
    bool LongPathsEnabled() override { return inner_.LongPathsEnabled(); }
    std::vector<std::string> log;
    size_t hostCallsBeforeLastFileCall = 0;
    std::function<void(const std::string& entry)> before;

private:
    void Record(std::string entry) {
        hostCallsBeforeLastFileCall = host_->calls.size();
        if (before) before(entry);
        log.push_back(std::move(entry));
    }
    FileSystem& inner_;
    const sim::SimHost* host_ = nullptr;
};

fs::path MakeTempRoot() {
    std::string pattern = (fs::temp_directory_path() / "starwright-folder-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

// The folder side, made before the window fixture so that the window's platform records through it.
struct RecordedFolders {
    fs::path root = MakeTempRoot();
    PortableFileSystem portable{root};
    RecordingFileSystem recording{portable};
};

class DatedFolder : public ::testing::Test, protected RecordedFolders, protected WindowFixture {
protected:
    // The early hours of 7 December file under the 6th.
    DatedFolder() : WindowFixture({.now = {2026, 12, 7, 1, 30, 0}, .fileSystem = &recording}) {
        recording.Watch(host);
        fs::create_directory(root / "C:");
        form.Load();
    }
    ~DatedFolder() override { fs::remove_all(root); }

    void Create(const std::string& home, const std::string& image) {
        Window().Type("txtPath", home);
        Window().Type("txtObject", image);
        Window().Click("cmdCreate");
    }
    bool IsDirectory(const std::string& relative) { return fs::is_directory(root / relative); }
    void MakeDirectories(const std::string& relative) { fs::create_directories(root / relative); }
    std::vector<std::string> CameraCalls() { return host.CallTexts("Camera."); }
};

TEST_F(DatedFolder, TypicalClickMakesThreeFoldersSetsUpTheCameraReportsAndCloses) {
    Create("C:\\MaximDL\\", "M31");

    EXPECT_TRUE(IsDirectory("C:/MaximDL/20261206/M31"));
    EXPECT_EQ(recording.log, (std::vector<std::string>{
                              "exists C:\\MaximDL\\",
                              "make C:\\MaximDL\\",
                              "exists C:\\MaximDL\\20261206",
                              "make C:\\MaximDL\\20261206",
                              "exists C:\\MaximDL\\20261206\\M31\\",
                              "make C:\\MaximDL\\20261206\\M31\\",
                              "files in C:\\MaximDL\\20261206\\M31\\",
                          }));
    EXPECT_EQ(recording.hostCallsBeforeLastFileCall, 0u);
    EXPECT_EQ(CameraCalls(), (std::vector<std::string>{
                                 "Camera.PreLinkFlag put Bool True",
                                 "Camera.Connected get",
                                 "Camera.Connected put Bool True",
                                 "Camera.AutoSaveName put Bstr \"C:\\MaximDL\\20261206\\M31\\M31\"",
                                 "Camera.AutoSaveStart put I2 1",
                             }));
    EXPECT_EQ(Window().messages, std::vector<std::string>{"C:\\MaximDL\\20261206\\M31\\ Path Created"});
    EXPECT_FALSE(form.IsLoaded());
}

TEST_F(DatedFolder, AllFoldersPresentCreatesNothingButStillSetsUpTheCamera) {
    MakeDirectories("C:/MaximDL/20261206/M31");
    Create("C:\\MaximDL\\", "M31");

    EXPECT_EQ(recording.log, (std::vector<std::string>{
                              "exists C:\\MaximDL\\",
                              "exists C:\\MaximDL\\20261206",
                              "exists C:\\MaximDL\\20261206\\M31\\",
                              "files in C:\\MaximDL\\20261206\\M31\\",
                          }));
    EXPECT_EQ(host.camera.autoSaveName, "C:\\MaximDL\\20261206\\M31\\M31");
    EXPECT_EQ(host.camera.autoSaveStart, 1);
    EXPECT_EQ(Window().messages, std::vector<std::string>{"C:\\MaximDL\\20261206\\M31\\ Path Created"});
    EXPECT_FALSE(form.IsLoaded());
}

// The texts handed on are the typed ones, joined as typed; only their folders differ.
TEST_F(DatedFolder, PathTextsAreJoinedExactlyAsTyped) {
    struct Case {
        const char* home;
        const char* image;
        const char* premade;          // folders present before the click, relative to the root
        const char* expectedFolder;   // made or found, relative to the root
        const char* autoSaveName;
        size_t makes;
        const char* madeMeanwhile = "";  // by another program between the test and the make, as named there
    } cases[] = {
        // Without a trailing "\" the date joins the last name: a sibling of the home folder.
        {"C:\\MaximDL", "M31", "", "C:/MaximDL20261206/M31", "C:\\MaximDL20261206\\M31\\M31", 3},
        // An empty image name leaves a double separator, found present as the date folder.
        {"C:\\MaximDL\\", "", "", "C:/MaximDL/20261206", "C:\\MaximDL\\20261206\\\\", 2},
        // A network home path; here the server's share is a folder under the root.
        {"\\\\server\\share\\Astro\\", "M31", "server/share", "server/share/Astro/20261206/M31",
         "\\\\server\\share\\Astro\\20261206\\M31\\M31", 3},
        // A folder that appears after the test finds nothing is as good as one made.
        {"C:\\MaximDL\\", "M31", "", "C:/MaximDL/20261206/M31", "C:\\MaximDL\\20261206\\M31\\M31", 3,
         "C:\\MaximDL\\20261206"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.home) + " + " + c.image);
        fs::remove_all(root / "C:");
        fs::remove_all(root / "server");
        fs::create_directory(root / "C:");
        if (*c.premade) MakeDirectories(c.premade);
        recording.log.clear();
        recording.before = [&](const std::string& entry) {
            if (*c.madeMeanwhile && entry == std::string("make ") + c.madeMeanwhile)
                fs::create_directory(portable.Map(c.madeMeanwhile));
        };
        host.calls.clear();
        form.Load();

        Create(c.home, c.image);
        recording.before = nullptr;

        const std::string autoSaveName = c.autoSaveName;
        const std::string imageFolder = autoSaveName.substr(0, autoSaveName.size() - std::string(c.image).size());
        EXPECT_TRUE(IsDirectory(c.expectedFolder));
        const auto makes = std::count_if(recording.log.begin(), recording.log.end(),
                                         [](const std::string& entry) { return entry.rfind("make ", 0) == 0; });
        EXPECT_EQ(static_cast<size_t>(makes), c.makes);
        EXPECT_EQ(std::count(recording.log.begin(), recording.log.end(), "exists " + imageFolder), 1)
            << "the image folder is tested as built";
        EXPECT_EQ(host.camera.autoSaveName, c.autoSaveName);
        ASSERT_FALSE(Window().messages.empty());
        EXPECT_EQ(Window().messages.back(), imageFolder + " Path Created");
        EXPECT_FALSE(form.IsLoaded());
    }
}

TEST_F(DatedFolder, FolderFailureIsReportedBeforeAnyCameraCallAndKeepsTheWindow) {
    // What the system does to the handler's file system calls, as it meets them.
    const auto fileMadeMeanwhile = [&](const std::string& entry) {
        if (entry == "make C:\\MaximDL\\20261206") std::ofstream(root / "C:/MaximDL/20261206") << "x";
    };
    const auto noNewFiles = [](const std::string& entry) {
        if (entry.starts_with("files in ")) throw Failure(static_cast<int32_t>(0x80070005), "Access is denied.");
    };
    struct Case {
        const char* home;
        const char* image;
        const char* message;
        std::function<void(const std::string& entry)> system;
    } cases[] = {
        {"C:\\NoSuch\\MaximDL\\", "M31", kPathNotFound},
        {"Q:\\MaximDL\\", "M31", kPathNotFound},
        // Another program's file where the date folder goes.
        {"C:\\MaximDL\\", "M31", "Cannot create a file when that file already exists.", fileMadeMeanwhile},
        // A read-only share or folder: every image of the night would fail to save.
        {"C:\\MaximDL\\", "M31", "Access is denied.", noNewFiles},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.home) + " + " + c.image + " " + c.message);
        fs::remove_all(root / "C:");
        fs::create_directory(root / "C:");
        host.calls.clear();
        recording.before = c.system;
        form.Load();

        Create(c.home, c.image);
        recording.before = nullptr;

        EXPECT_EQ(Window().messages, std::vector<std::string>{c.message});
        EXPECT_TRUE(host.calls.empty());
        EXPECT_TRUE(form.IsLoaded());
        EXPECT_EQ(Window().Find("txtMessage1").GetCaption(), "None");
    }
}

// Folders must stay where the user meant: below a home path that names its place on its own
// (not relative to the host's current folder), each folder of a name Windows makes as typed, and
// the image name one such folder that also begins each image's file name; and the camera must
// be able to save there. Anything else is refused before anything is made.
TEST_F(DatedFolder, TextsThatWouldMakeFoldersElsewhereAreRefusedFirst) {
    constexpr char kHome[] = "The home path must be a full path, such as C:\\MaximDL\\ or \\\\server\\share\\MaximDL\\.";
    constexpr char kHomeDots[] = "The home path cannot contain a folder named . or ..";
    constexpr char kHomeCharacters[] =
        "A folder in the home path cannot contain any of these characters: : * ? \" < > |";
    constexpr char kHomeEnd[] = "A folder in the home path cannot end with a dot or a blank.";
    constexpr char kHomeDevice[] = "The home path cannot use a device name such as CON, NUL, COM1 or LPT1.";
    constexpr char kSeparator[] =
        "The image name cannot contain \\ or /: it names one folder and begins each image's file name.";
    constexpr char kDots[] = "The image name cannot be . or ..";
    constexpr char kCharacters[] = "The image name cannot contain any of these characters: : * ? \" < > |";
    constexpr char kEnd[] = "The image name cannot end with a dot or a blank.";
    constexpr char kDevice[] = "The image name cannot use a device name such as CON, NUL, COM1 or LPT1.";
    // The auto-save name, home + date + "\" + image + "\" + image, takes at most 247 characters
    // (in UTF-16, as Windows counts them) unless the process takes long paths.
    const std::string a217(217, 'a'), a228(228, 'a'), a240(240, 'a');
    const std::string kOneTooLong =
        "The images' file names would be 1 character too long for Windows: shorten the home path by 1 "
        "character or the image name by 1 (it is used twice).";
    const std::string kTenTooLong =
        "The images' file names would be 10 characters too long for Windows: shorten the home path by 10 "
        "characters or the image name by 5 (it is used twice).";
    struct Case {
        std::string home;
        std::string image;
        std::string refusal;  // empty: accepted, and the folders are made
        bool longPaths = false;
    } cases[] = {
        {"MaximDL\\", "M31", kHome},
        {"C:MaximDL\\", "M31", kHome},
        {"\\MaximDL\\", "M31", kHome},
        {"", "M31", kHome},
        {"\\\\server\\", "M31", kHome},
        {"\\\\?\\C:\\MaximDL\\", "M31", kHome},
        {"//./C:/MaximDL/", "M31", kHome},
        {"c:/MaximDL/", "M31", ""},
        {"C:\\MaximDL", "M31", ""},
        {"C:\\Astro \\", "M31", kHomeEnd},
        {"C:\\Astro.", "M31", kHomeEnd},
        {"\\\\server\\share\\Astro \\", "M31", kHomeEnd},
        {"C:\\Astro\\NUL\\", "M31", kHomeDevice},
        {"C:\\Astro\\com1.fits\\", "M31", kHomeDevice},
        {"C:\\Max?DL\\", "M31", kHomeCharacters},
        {"C:\\Astro\\..\\Windows\\", "M31", kHomeDots},
        {"C:\\\\Astro\\\\", "M31", ""},
        {"C:\\MaximDL\\", "M31\\Core", kSeparator},
        {"C:\\MaximDL\\", "M31/Core", kSeparator},
        {"C:\\MaximDL\\", "\\M31\\", kSeparator},
        {"C:\\MaximDL\\", "..\\..\\Users\\Public\\M31", kSeparator},
        {"C:\\MaximDL\\", ".", kDots},
        {"C:\\MaximDL\\", "..", kDots},
        {"C:\\MaximDL\\", "M<31>", kCharacters},
        {"C:\\MaximDL\\", "C:M31", kCharacters},
        {"C:\\MaximDL\\", "M31\tCore", kCharacters},
        {"C:\\MaximDL\\", "M31.", kEnd},
        {"C:\\MaximDL\\", "M31 ", kEnd},
        {"C:\\MaximDL\\", "nul", kDevice},
        {"C:\\MaximDL\\", "Con.fits", kDevice},
        {"C:\\MaximDL\\", "LPT9 .txt", kDevice},
        {"C:\\MaximDL\\", "COM\xC2\xB9", kDevice},
        {"C:\\MaximDL\\", "CONOUT$", kDevice},
        {"C:\\MaximDL\\", "CONSOLE", ""},
        {"C:\\MaximDL\\", "COM10", ""},
        {"C:\\MaximDL\\", ".M31..fits", ""},
        {"C:\\" + a217 + "\\", "\xC3\x84ngstr\xC3\xB6m", ""},  // 247 in UTF-16, 251 bytes
        {"C:\\" + a228 + "\\", "M31", kOneTooLong},
        {"\\\\server\\share\\" + a228.substr(3) + "\\", "M31", kTenTooLong},
        {"C:\\" + a240 + "\\", "M31", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.home + " + " + c.image);
        fs::remove_all(root / "C:");
        fs::create_directory(root / "C:");
        portable.EnableLongPaths(c.longPaths);
        recording.log.clear();
        host.calls.clear();
        form.Load();

        Create(c.home, c.image);

        ASSERT_EQ(Window().messages.size(), 1u);
        if (c.refusal.empty()) {
            EXPECT_TRUE(Window().messages.front().ends_with(" Path Created")) << Window().messages.front();
            continue;
        }
        EXPECT_EQ(Window().messages.front(), c.refusal);
        EXPECT_TRUE(recording.log.empty()) << recording.log.front();
        EXPECT_TRUE(host.calls.empty());
        EXPECT_TRUE(form.IsLoaded());
    }
}

TEST_F(DatedFolder, HomePathThatIsAFileCannotBeMade) {
    std::ofstream(root / "C:" / "MaximDL") << "not a folder";
    Create("C:\\MaximDL\\", "M31");
    EXPECT_EQ(Window().messages, std::vector<std::string>{"Cannot create a file when that file already exists."});
    EXPECT_TRUE(form.IsLoaded());
}

TEST_F(DatedFolder, ClickingAgainAfterAFailureLeavesExistingFoldersAlone) {
    host.FailOn("Camera.Connected put", static_cast<int32_t>(0x80040005), "The camera is not responding");
    Create("C:\\MaximDL\\", "M31");
    ASSERT_TRUE(form.IsLoaded());
    recording.log.clear();

    Create("C:\\MaximDL\\", "M42");
    EXPECT_EQ(recording.log.front(), "exists C:\\MaximDL\\");
    EXPECT_EQ(recording.log.size(), 5u);  // three tests, one make, the check for files
    EXPECT_EQ(recording.log[3], "make C:\\MaximDL\\20261206\\M42\\");
    EXPECT_FALSE(form.IsLoaded());
}

TEST_F(DatedFolder, ConnectedIsWrittenOnlyWhenItReadsFalse) {
    for (bool connected : {false, true}) {
        SCOPED_TRACE(connected);
        const size_t callsBefore = CameraCalls().size();
        host.camera.connected = connected;
        form.Load();
        Create("C:\\MaximDL\\", "M31");

        std::vector<std::string> expected{"Camera.PreLinkFlag put Bool True", "Camera.Connected get"};
        if (!connected) expected.push_back("Camera.Connected put Bool True");
        expected.push_back("Camera.AutoSaveName put Bstr \"C:\\MaximDL\\20261206\\M31\\M31\"");
        expected.push_back("Camera.AutoSaveStart put I2 1");
        const std::vector<std::string> calls = CameraCalls();
        EXPECT_EQ(std::vector<std::string>(calls.begin() + callsBefore, calls.end()), expected);
        EXPECT_FALSE(form.IsLoaded());
    }
    EXPECT_EQ(host.CallTexts("create Camera").size(), 1u) << "the window's camera is kept";
}

TEST_F(DatedFolder, CameraFailureAfterTheFoldersIsShownAndUndoesNothing) {
    struct Case {
        const char* operation;
        size_t callsMade;  // camera calls made, the failing one included
    } cases[] = {
        {"create Camera", 0},
        {"Camera.PreLinkFlag put", 1},
        {"Camera.Connected get", 2},
        {"Camera.Connected put", 3},  // the camera refuses the link
        {"Camera.AutoSaveName put", 4},
        {"Camera.AutoSaveStart put", 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        // A window of its own, so each case starts without a camera; it loads on this toolkit.
        RecordingFileSystem freshFiles(portable);
        WindowFixture fresh({.now = clock.Now(), .fileSystem = &freshFiles, .toolkit = &toolkit});
        freshFiles.Watch(fresh.host);
        recording.log.clear();
        fs::remove_all(root / "C:");
        fs::create_directory(root / "C:");
        fresh.host.FailOn(c.operation, static_cast<int32_t>(0x80040005), "The camera is not responding");
        fresh.form.Load();

        Create("C:\\MaximDL\\", "M31");

        EXPECT_TRUE(IsDirectory("C:/MaximDL/20261206/M31"));
        EXPECT_EQ(fresh.host.CallTexts("Camera.").size(), c.callsMade);
        EXPECT_EQ(Window().messages, std::vector<std::string>{"The camera is not responding"});
        EXPECT_TRUE(fresh.form.IsLoaded());
    }
}

TEST(DateText, HalfADayEarlierAsYyyymmdd) {
    struct Case {
        LocalDateTime now;
        const char* date;
    } cases[] = {
        {{2026, 12, 7, 11, 59, 59}, "20261206"},
        {{2026, 12, 7, 12, 0, 0}, "20261207"},
        {{2026, 12, 7, 23, 59, 59}, "20261207"},
        {{2026, 12, 7, 0, 0, 0}, "20261206"},
        {{2026, 5, 1, 6, 0, 0}, "20260430"},
        {{2027, 1, 1, 11, 59, 59}, "20261231"},
        {{2027, 1, 1, 12, 0, 0}, "20270101"},
        {{2026, 3, 1, 0, 0, 0}, "20260228"},
        {{2028, 3, 1, 11, 0, 0}, "20280229"},
        {{2000, 3, 1, 5, 0, 0}, "20000229"},
        {{2100, 3, 1, 5, 0, 0}, "21000228"},
        {{987, 2, 3, 14, 0, 0}, "09870203"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.date);
        EXPECT_EQ(FormatYyyymmdd(HalfDayEarlier(c.now)), c.date);
    }
    EXPECT_EQ(HalfDayEarlier({2027, 1, 1, 11, 59, 59}), (LocalDateTime{2026, 12, 31, 23, 59, 59}));
}

TEST(PortableFileSystem, BehavesAsTheWindowsFileApis) {
    const fs::path root = MakeTempRoot();
    fs::create_directories(root / "C:" / "Data");
    std::ofstream(root / "C:" / "Data" / "notes.txt") << "x";
    PortableFileSystem files(root);

    struct Case {
        const char* path;
        bool exists;
    } cases[] = {
        {"C:\\", true},        {"c:\\Data", true},          {"C:\\Data\\", true},
        {"C:/Data", true},     {"C:\\Data\\\\", true},      {"C:\\Data\\notes.txt", true},
        {"C:\\Data\\notes.txt\\", false},                   {"C:\\Data\\notes.txt\\x", false},
        {"C:\\Missing", false}, {"C:\\Missing\\x\\", false}, {"D:\\", false},
        {"C:\\Data\\..\\..\\Data", true},                   {"C:\\Data.", true},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(files.Exists(c.path), c.exists) << c.path;

    EXPECT_NO_THROW(files.MakeDirectory("C:\\Data\\New\\"));
    EXPECT_TRUE(fs::is_directory(root / "C:" / "Data" / "New"));
    EXPECT_NO_THROW(files.CheckCanCreateFiles("C:\\Data\\New\\"));
    EXPECT_TRUE(fs::is_empty(root / "C:" / "Data" / "New")) << "the file made to check is removed";
    EXPECT_EQ(files.Map("C:\\..\\..\\etc"), root / "C:" / "etc");

    struct Failing {
        const char* path;
        const char* description;
        bool checkFiles = false;  // CheckCanCreateFiles instead of MakeDirectory
    } failing[] = {
        {"C:\\Data\\New", "Cannot create a file when that file already exists."},
        {"C:\\Data\\notes.txt", "Cannot create a file when that file already exists."},
        {"C:\\Missing\\x", kPathNotFound},
        {"C:\\Data\\notes.txt\\x", kPathNotFound},
        {"D:\\x", kPathNotFound},
        {"C:\\Data\\a|b", "The filename, directory name, or volume label syntax is incorrect."},
        {"C:\\Data\\a:b", "The filename, directory name, or volume label syntax is incorrect."},
        {"C:\\Missing\\", kPathNotFound, true},
    };
    for (const Failing& f : failing) {
        SCOPED_TRACE(f.path);
        try {
            f.checkFiles ? files.CheckCanCreateFiles(f.path) : files.MakeDirectory(f.path);
            ADD_FAILURE() << "made";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Description(), f.description);
        }
    }
    fs::remove_all(root);
}

}  // namespace
}  // namespace starwright
