// The Windows file system and clock services against the real file APIs (Wine's kernel32).
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/failure.h"
#include "platform/windows_platform.h"
#include "tests/wine/folder_support.h"
#include "tests/wine/windows_only.h"

namespace starwright {
namespace {

using test::IsDirectory;
using test::SystemText;

// A fresh directory under the temporary folder, holding "Data\" and "Data\notes.txt".
class WindowsFileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = test::ScratchFolder("starwright-folder");
        ASSERT_TRUE(CreateDirectoryW(ToWide(base_).c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(ToWide(base_ + "Data").c_str(), nullptr));
        HANDLE file = CreateFileW(ToWide(base_ + "Data\\notes.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    }
    void TearDown() override { test::RemoveFolderTree(base_); }
    std::string base_;
    WindowsFileSystem files_;
};

TEST_F(WindowsFileSystemTest, ExistsForFilesAndDirectoriesWithADirectoryWhenTheTextEndsInASeparator) {
    struct Case {
        std::string path;
        bool exists;
    } cases[] = {
        {base_ + "Data", true},
        {base_ + "Data\\", true},
        {base_ + "Data\\\\", true},
        {base_ + "Data/", true},
        {base_ + "data", true},
        {base_ + "Data\\notes.txt", true},
        {base_ + "Data\\notes.txt\\", false},
        {base_ + "Data\\notes.txt\\more", false},
        {base_ + "Missing", false},
        {base_ + "Missing\\", false},
        {base_ + "Missing\\deeper\\", false},
        {"C:\\", true},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(files_.Exists(c.path), c.exists);
    }
    // A lookup that fails for another reason than "not there" is a failure, not an answer.
    try {
        files_.Exists(base_ + "a?b");
        ADD_FAILURE() << "a wildcard was looked up";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Description(), SystemText(ERROR_INVALID_NAME));
    }
}

TEST_F(WindowsFileSystemTest, MakesOneLevelAndFailsWithTheSystemsDescription) {
    files_.MakeDirectory(base_ + "One");
    files_.MakeDirectory(base_ + "One\\Two\\");
    const std::string unicodeName = base_ + "\xC3\x84ngstr\xC3\xB6m";  // "Ängström"
    files_.MakeDirectory(unicodeName);
    EXPECT_TRUE(IsDirectory(base_ + "One\\Two"));
    EXPECT_TRUE(IsDirectory(unicodeName));
    EXPECT_TRUE(files_.Exists(unicodeName + "\\"));

    struct Case {
        std::string path;
        DWORD error;
    } cases[] = {
        {base_ + "Missing\\Deeper", ERROR_PATH_NOT_FOUND},
        {base_ + "Missing\\Deeper\\", ERROR_PATH_NOT_FOUND},
        {base_ + "One", ERROR_ALREADY_EXISTS},
        {base_ + "Data\\notes.txt", ERROR_ALREADY_EXISTS},
        {base_ + "a|b", ERROR_INVALID_NAME},
        {"", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            files_.MakeDirectory(c.path);
            ADD_FAILURE() << "made";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Number(), static_cast<int32_t>(HRESULT_FROM_WIN32(c.error)));
            EXPECT_EQ(failure.Description(), SystemText(c.error));
            EXPECT_FALSE(failure.Description().empty());
            EXPECT_NE(failure.Description().back(), '\n');
        }
    }
    EXPECT_FALSE(IsDirectory(base_ + "Missing"));
}

// A folder that exists is not yet one the camera can save into.
TEST_F(WindowsFileSystemTest, ChecksThatANewFileCanBeMadeInAFolder) {
    // Nobody may add files to it: on Windows a folder whose access list allows reading only.
    // Wine keeps no access lists; there Linux's /sys refuses new files to every user.
    std::string denied = "Z:\\sys\\";
    if (!test::RunningUnderWine()) {
        denied = base_ + "Locked\\";
        SECURITY_ATTRIBUTES readOnly{sizeof readOnly};
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;GRGX;;;WD)", SDDL_REVISION_1,
                                                                         &readOnly.lpSecurityDescriptor, nullptr));
        const BOOL made = CreateDirectoryW(ToWide(denied).c_str(), &readOnly);
        LocalFree(readOnly.lpSecurityDescriptor);
        ASSERT_TRUE(made);
    }
    struct Case {
        std::string folder;
        std::vector<DWORD> errors;  // none: files can be made; else the error, or one of them
    } cases[] = {
        {base_ + "Data\\", {}},
        {base_ + "Data", {}},
        {base_ + "Missing\\", {ERROR_PATH_NOT_FOUND}},
        {denied, {ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT}},  // a read-only mount: write-protected
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        try {
            files_.CheckCanCreateFiles(c.folder);
            EXPECT_TRUE(c.errors.empty()) << "passed";
        } catch (const Failure& failure) {
            bool expected = false;
            for (DWORD error : c.errors)
                expected |= failure.Number() == static_cast<int32_t>(HRESULT_FROM_WIN32(error)) &&
                            failure.Description() == SystemText(error);
            EXPECT_TRUE(expected) << failure.Description();
        }
    }
    EXPECT_EQ(test::FolderEntries(base_ + "Data\\"), std::vector<std::string>{"notes.txt"})
        << "the file made to check is removed";
}

// A home path on a network share ("\\server\share\..."): the same scratch folder through the
// machine's own administrative share of its drive.
TEST_F(WindowsFileSystemTest, MakesAndFindsFoldersOnANetworkShare) {
    STARWRIGHT_WINDOWS_ONLY("Wine has no network share to make folders on");
    STARWRIGHT_NEEDS_ADMINISTRATOR();
    const std::string share = "\\\\localhost\\" + base_.substr(0, 1) + "$" + base_.substr(2);
    if (!IsDirectory(share + "Data"))
        GTEST_SKIP() << "the administrative share " << share.substr(0, 15) << " is not reachable here";
    files_.MakeDirectory(share + "Night");
    files_.MakeDirectory(share + "Night\\Lights\\");
    EXPECT_TRUE(IsDirectory(base_ + "Night\\Lights"));
    EXPECT_TRUE(files_.Exists(share + "Night\\Lights\\"));
    files_.CheckCanCreateFiles(share + "Night\\Lights\\");
    EXPECT_TRUE(files_.Exists(share + "Data\\notes.txt"));
    EXPECT_FALSE(files_.Exists(share + "Missing\\"));
    try {
        files_.MakeDirectory(share + "Missing\\Deeper");
        ADD_FAILURE() << "made";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Number(), static_cast<int32_t>(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)));
    }
}

TEST(WindowsClockTest, ShowsTheLocalWallClock) {
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    const LocalDateTime now = WindowsClock().Now();
    GetLocalTime(&after);
    auto key = [](int y, int mo, int d, int h, int mi, int s) {
        return ((((int64_t(y) * 100 + mo) * 100 + d) * 100 + h) * 100 + mi) * 100 + s;
    };
    const int64_t k = key(now.year, now.month, now.day, now.hour, now.minute, now.second);
    EXPECT_LE(key(before.wYear, before.wMonth, before.wDay, before.wHour, before.wMinute, before.wSecond), k);
    EXPECT_GE(key(after.wYear, after.wMonth, after.wDay, after.wHour, after.wMinute, after.wSecond), k);
}

}  // namespace
}  // namespace starwright
