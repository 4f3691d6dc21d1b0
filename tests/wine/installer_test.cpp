// The installer on this machine, run as an administrator's deployment tool runs it (silently,
// /S, its exit code read in full): installed over an older version and over itself while a host
// has the plug-in loaded, removed through its "Apps & features" entry, an installer whose 64-bit
// plug-in cannot be registered, a setup cut off part-way, and on 32-bit Windows the 32-bit
// plug-in alone. Each scenario checks the installed files and the guide with its Start menu
// entry, both registry views of the machine's classes (and that no stale per-user copy is left
// in any loaded profile's classes), the "Apps & features" entry, what Windows is to do at the
// next restart, and script hosts of both bitnesses creating Starwright.PlugIn.
//
// make test runs it under Wine (dist/test_installer.sh), the test kit on Windows. It installs
// and removes Starwright, so it needs an administrator and a machine where Starwright is not
// installed; otherwise its tests are skipped, saying why. Whatever a test leaves (a failure, a
// file still loaded), its end removes: it uninstalls, lets every host go, restarts as below and
// puts the keys it touched back.
//
// A restart: every host ends, then what Windows does at boot with PendingFileRenameOperations.
// Under Wine that is Wine's own restart of the session (wineboot -r); Windows cannot be restarted
// under a test, so there the test does the operations on the installation's files (and on its
// own), in their order, as the session manager does at boot, and leaves any other program's for
// the real restart.
//
// The parts are in the folder "installer" beside this program (dist/build.sh puts them there in
// the kit): Starwright-<version>-setup.exe and the DLLs it holds (32-bit/, 64-bit/); version
// 0.90's installer (older-setup.exe, built from the installer's sources before setup kept a record
// of its changes) with its DLLs and README (older/); broken-setup.exe, whose 64-bit plug-in is
// not a DLL; a host of each bitness (dll_holder-32.exe, dll_holder-64.exe); plugin_name.vbs; the
// guide as setup installs it (guide/).
#include <windows.h>

#include <aclapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <memory>
#include <string>
#include <vector>

#include "plugin/identifiers.h"
#include "platform/text_win.h"
#include "plugin/registry_tree.h"
#include "tests/wine/folder_support.h"
#include "tests/wine/pending_operations.h"
#include "tests/wine/plugin_test_support.h"
#include "tests/wine/windows_only.h"

namespace {

using starwright::ToUtf8;
using starwright::plugin::RegistryTree;
using starwright::test::KeyExists;
using starwright::test::Operation;
using starwright::test::OperationPath;
using starwright::test::PendingOperations;
namespace ids = starwright::plugin;

std::wstring Lower(std::wstring text) {
    for (wchar_t& ch : text) ch = static_cast<wchar_t>(std::towlower(ch));
    return text;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? value : L"";
}

bool Windows64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// The machine's own architecture: the plug-in's 64-bit DLL is an x64 one, which the ARM64
// regsvr32 and script host cannot load. (IsWow64Process2 is there from Windows 10 1511.)
bool X64Windows() {
    using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    const auto query = reinterpret_cast<IsWow64Process2Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2")));
    USHORT process = 0, machine = IMAGE_FILE_MACHINE_AMD64;
    return !query || !query(GetCurrentProcess(), &process, &machine) || machine == IMAGE_FILE_MACHINE_AMD64;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Bytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return "(no such file)";
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

// The installer's parts, in their folder beside this program.
std::wstring Parts() { return starwright::test::BesideTest(L"installer"); }

// The installer under test and its version ("1.00"), as its name says.
struct Installer {
    std::wstring path;
    std::wstring version;
};
Installer TheInstaller() {
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((Parts() + L"\\Starwright-*-setup.exe").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return {};
    FindClose(find);
    std::wstring version = found.cFileName;
    version = version.substr(std::wcslen(L"Starwright-"), version.size() - std::wcslen(L"Starwright--setup.exe"));
    const std::wstring suffix = L"-not-a-release-build";
    if (version.size() > suffix.size() && version.compare(version.size() - suffix.size(), suffix.size(), suffix) == 0)
        version.resize(version.size() - suffix.size());
    return {Parts() + L"\\" + found.cFileName, version};
}

// Where setup installs: the 64-bit plug-in, the documents and the uninstaller in Program Files,
// the 32-bit plug-in in Program Files (x86); on 32-bit Windows all of it in Program Files.
std::wstring Folder64() {
    const std::wstring native = Environment(L"ProgramW6432");
    return (native.empty() ? Environment(L"ProgramFiles") : native) + L"\\Starwright";
}
std::wstring Folder32() { return Windows64() ? Environment(L"ProgramFiles(x86)") + L"\\Starwright" : Folder64(); }
std::wstring Dll32() { return Folder32() + L"\\Starwright.dll"; }
std::wstring Dll64() { return Folder64() + L"\\Starwright.dll"; }
std::wstring Uninstaller() { return Folder64() + L"\\uninstall.exe"; }

// The guide's entry in the Start menu of all users.
std::wstring Shortcut() {
    wchar_t programs[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs);
    return std::wstring(programs) + L"\\Starwright guide.lnk";
}

// What a shortcut opens, or why it cannot be read.
std::wstring ShortcutTarget(const std::wstring& shortcut) {
    const HRESULT initialized = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::wstring target = L"(cannot be read)";
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        wchar_t path[MAX_PATH] = {};
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            if (SUCCEEDED(file->Load(shortcut.c_str(), STGM_READ)) &&
                SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH)))
                target = path;
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(initialized)) CoUninitialize();
    return target;
}

// The program a double-click opens a page (.html) with. Wine 8's AssocQueryString knows no
// executable for a class whose command names one, so the class's command is read as ShellExecute
// reads it then. The tests' Wine prefixes go without Wine's HTML engine, which is what registers
// ".html" there; its class is then the one it names on Windows and in Wine's own registration.
std::wstring PageOpener() {
    wchar_t program[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    if (AssocQueryStringW(ASSOCF_NONE, ASSOCSTR_EXECUTABLE, L".html", L"open", program, &length) == S_OK) return program;
    wchar_t text[MAX_PATH * 2] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    std::wstring pageClass = L"htmlfile";
    if (RegGetValueW(HKEY_CLASSES_ROOT, L".html", nullptr, RRF_RT_REG_SZ, nullptr, text, &size) == ERROR_SUCCESS)
        pageClass = text;
    else if (!starwright::test::RunningUnderWine())
        return L"";
    const std::wstring command = pageClass + L"\\shell\\open\\command";
    size = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, command.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text,
                     &size) != ERROR_SUCCESS)
        return L"";
    std::wstring line = text;
    if (line.starts_with(L"\"")) return line.substr(1, line.find(L'"', 1) - 1);
    return line.substr(0, line.find(L' '));
}

// The files under a folder, as paths relative to it ("docs\\x.png"), sorted.
std::vector<std::wstring> FilesUnder(const std::wstring& folder, const std::wstring& prefix = L"") {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((folder + L"\\" + prefix + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            const std::vector<std::wstring> more = FilesUnder(folder, prefix + name + L"\\");
            files.insert(files.end(), more.begin(), more.end());
        } else {
            files.push_back(prefix + name);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(files.begin(), files.end());
    return files;
}

// A program of Windows' own, of the given bitness.
std::wstring SystemProgram(int bits, const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    if (bits == 64) {
        GetSystemWindowsDirectoryW(folder, MAX_PATH);
        return std::wstring(folder) + L"\\Sysnative\\" + name;  // the 64-bit System32, seen from a 32-bit program
    }
    if (!Windows64() || !GetSystemWow64DirectoryW(folder, MAX_PATH)) GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + name;
}

const std::wstring kClasses = L"Software\\Classes\\";
// The plug-in's own keys in a classes key, whether the machine's or a user's.
const std::wstring kOwnKeys[] = {std::wstring(L"CLSID\\") + ids::kPlugInClsidText,
                                 std::wstring(L"Interface\\") + ids::kPlugInIidText,
                                 std::wstring(L"TypeLib\\") + ids::kLibIdText, ids::kProgId};
// The classes of a profile loaded beside the tester's own, in HKEY_USERS: the system's.
const std::wstring kOtherProfileClasses = L".Default\\Software\\Classes\\";
const std::wstring kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Starwright";
const std::wstring kSessionManager = starwright::test::kSessionManagerKey;
const REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
int Bits(REGSAM view) { return view == KEY_WOW64_32KEY ? 32 : 64; }

// A value of HKLM\key in a view, as text (a number in decimal); empty when there is none.
std::wstring MachineValue(REGSAM view, const std::wstring& key, const wchar_t* name = nullptr) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) return {};
    BYTE data[4096] = {};
    DWORD size = sizeof data - sizeof(wchar_t), type = 0;
    const LSTATUS status = RegQueryValueExW(opened, name, nullptr, &type, data, &size);
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS) return {};
    if (type == REG_DWORD) return std::to_wstring(*reinterpret_cast<DWORD*>(data));
    return reinterpret_cast<const wchar_t*>(data);
}

// Every key that setup, the uninstallers and regsvr32 may write or remove, in both views, the
// machine's and the users' (the tester's and another loaded profile's), as they stand now.
std::vector<RegistryTree> TouchedKeys() {
    std::vector<RegistryTree> trees;
    for (const REGSAM view : kViews) {
        for (const std::wstring& key : kOwnKeys) trees.emplace_back(HKEY_LOCAL_MACHINE, kClasses + key, view);
        trees.emplace_back(HKEY_LOCAL_MACHINE, kUninstallKey, view);
        trees.emplace_back(HKEY_LOCAL_MACHINE, L"Software\\Starwright", view);
        for (const std::wstring& key : kOwnKeys) trees.emplace_back(HKEY_CURRENT_USER, kClasses + key, view);
        for (const std::wstring& key : kOwnKeys) trees.emplace_back(HKEY_USERS, kOtherProfileClasses + key, view);
    }
    return trees;
}

// The per-user copies of the plug-in's own keys that the tests plant: in the tester's classes
// and in another loaded profile's, each key in both views, as an earlier per-user registration
// would have left them. TouchedKeys covers them, so a test's end puts back what was there.
struct UsersClasses {
    HKEY root;
    std::wstring classes;
};
const UsersClasses kUsersClasses[] = {{HKEY_CURRENT_USER, kClasses}, {HKEY_USERS, kOtherProfileClasses}};

// The keys on the way to those copies that are not there yet (a new profile has no CLSID key of
// its own): planting makes them, and a test's end removes them again, deepest first, each only
// when nothing else has come into it meanwhile.
struct MissingKey {
    HKEY root;
    std::wstring path;
    REGSAM view;
};
std::vector<MissingKey> MissingKeysOnTheWayToUsersCopies() {
    std::vector<MissingKey> missing;
    for (const UsersClasses& user : kUsersClasses)
        for (const std::wstring& key : kOwnKeys)
            for (const REGSAM view : kViews) {
                const std::wstring path = user.classes + key;
                for (size_t end = 0; (end = path.find(L'\\', end + 1)) != std::wstring::npos;)
                    if (!KeyExists(user.root, path.substr(0, end), view)) missing.push_back({user.root, path.substr(0, end), view});
            }
    return missing;
}

void PlantUsersCopies() {
    const wchar_t stale[] = L"C:\\Old\\Starwright.dll";
    for (const UsersClasses& user : kUsersClasses)
        for (const std::wstring& key : kOwnKeys)
            for (const REGSAM view : kViews) {
                HKEY created = nullptr;
                ASSERT_EQ(RegCreateKeyExW(user.root, (user.classes + key).c_str(), 0, nullptr, 0, KEY_SET_VALUE | view,
                                          nullptr, &created, nullptr),
                          ERROR_SUCCESS)
                    << ToUtf8(user.classes + key);
                RegSetValueExW(created, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(stale), sizeof stale);
                RegCloseKey(created);
            }
}

// While it lives, no program may change the values of HKLM\key, as when its permissions refuse it
// (a deny entry for everyone in its DACL); then its permissions are as they were.
class ValuesRefused {
public:
    explicit ValuesRefused(const std::wstring& key) {
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, READ_CONTROL | WRITE_DAC, &key_) != ERROR_SUCCESS ||
            GetSecurityInfo(key_, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl_, nullptr,
                            &descriptor_) != ERROR_SUCCESS) {
            ADD_FAILURE() << "cannot read the permissions of HKLM\\" << ToUtf8(key);
            return;
        }
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        PSID everyone = nullptr;
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
        EXPLICIT_ACCESSW deny{};
        deny.grfAccessPermissions = KEY_SET_VALUE;
        deny.grfAccessMode = DENY_ACCESS;
        deny.grfInheritance = NO_INHERITANCE;
        deny.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        deny.Trustee.ptstrName = static_cast<LPWSTR>(everyone);
        PACL refused = nullptr;
        if (SetEntriesInAclW(1, &deny, dacl_, &refused) != ERROR_SUCCESS ||
            SetSecurityInfo(key_, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, refused, nullptr) !=
                ERROR_SUCCESS)
            ADD_FAILURE() << "cannot refuse changes to HKLM\\" << ToUtf8(key);
        else
            changed_ = true;
        LocalFree(refused);
        FreeSid(everyone);
    }
    ~ValuesRefused() {
        if (changed_) SetSecurityInfo(key_, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl_, nullptr);
        if (descriptor_) LocalFree(descriptor_);
        if (key_) RegCloseKey(key_);
    }
    ValuesRefused(const ValuesRefused&) = delete;
    ValuesRefused& operator=(const ValuesRefused&) = delete;

private:
    HKEY key_ = nullptr;
    PACL dacl_ = nullptr;
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    bool changed_ = false;
};

// A job whose processes all end when it is closed or when this program ends, however it ends.
HANDLE KillOnCloseJob() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job && !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        job = nullptr;
    }
    return job;
}

// Starts a program in `job`, its own process group (Ctrl+C, with which a tester stops the kit,
// is for this program, which then finishes the scenario in progress).
bool Start(std::wstring commandLine, HANDLE job, STARTUPINFOW& startup, PROCESS_INFORMATION& process) {
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP,
                        nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot start " << ToUtf8(commandLine) << ": error " << GetLastError();
        return false;
    }
    if (!job || !AssignProcessToJobObject(job, process.hProcess)) {
        ADD_FAILURE() << "cannot put " << ToUtf8(commandLine) << " in a job: error " << GetLastError();
        TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return false;
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    return true;
}

// A program run to its end as a deployment tool runs it, in a job of its own (so that a cut-off
// ends it and whatever it started at once); its exit code in full and what it printed.
struct Ran {
    DWORD code = 0;
    std::string output;
    bool cutOff = false;
};

Ran RunProgram(std::wstring commandLine, const std::wstring& cutOffWhen = L"") {
    Ran ran;
    wchar_t temporary[MAX_PATH] = {}, log[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temporary);
    GetTempFileNameW(temporary, L"sw", 0, log);
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE output = CreateFileW(log, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process{};
    HANDLE job = KillOnCloseJob();
    // What ends a run that the test ends: the power failing, or a program that hangs.
    constexpr DWORD kEnded = 0xDEAD;
    if (!Start(commandLine, job, startup, process)) {
        ran.code = static_cast<DWORD>(-1);
    } else {
        // A scenario's program takes seconds; one that still runs after five minutes hangs.
        const ULONGLONG deadline = GetTickCount64() + 300000;
        while (WaitForSingleObject(process.hProcess, cutOffWhen.empty() ? 1000 : 10) == WAIT_TIMEOUT) {
            const bool cut = !cutOffWhen.empty() && Exists(cutOffWhen);
            if (!cut && GetTickCount64() < deadline) continue;
            TerminateJobObject(job, kEnded);  // as a power failure would: nothing more of it runs
            if (!cut) ADD_FAILURE() << ToUtf8(commandLine) << " still ran after five minutes";
            WaitForSingleObject(process.hProcess, 60000);
            break;
        }
        GetExitCodeProcess(process.hProcess, &ran.code);
        ran.cutOff = ran.code == kEnded;
        CloseHandle(process.hProcess);
    }
    CloseHandle(job);
    CloseHandle(output);
    ran.output = Bytes(log);
    ran.output.erase(std::remove(ran.output.begin(), ran.output.end(), '\r'), ran.output.end());
    while (!ran.output.empty() && ran.output.back() == '\n') ran.output.pop_back();
    DeleteFileW(log);
    return ran;
}

DWORD ExitCode(const std::wstring& commandLine) { return RunProgram(commandLine).code; }
std::wstring SetupCommand(const std::wstring& setup) { return Quoted(setup) + L" /S"; }

// A host of the given bitness that has loaded `files` through the loader, until it goes.
class Host {
public:
    Host(int bits, const std::vector<std::wstring>& files) {
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        held_ = CreateEventW(&inherited, TRUE, FALSE, nullptr);
        release_ = CreateEventW(&inherited, TRUE, FALSE, nullptr);
        std::wstring line = Quoted(Parts() + L"\\dll_holder-" + std::to_wstring(bits) + L".exe") + L" " +
                            std::to_wstring(reinterpret_cast<ULONG_PTR>(held_)) + L" " +
                            std::to_wstring(reinterpret_cast<ULONG_PTR>(release_));
        for (const std::wstring& file : files) line += L" " + Quoted(file);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!Start(line, job_, startup, process)) return;
        process_ = process.hProcess;
        HANDLE either[] = {held_, process_};
        if (WaitForMultipleObjects(2, either, FALSE, 60000) != WAIT_OBJECT_0)
            ADD_FAILURE() << "the " << bits << "-bit host did not load " << ToUtf8(line);
    }
    ~Host() {
        SetEvent(release_);
        if (process_ && WaitForSingleObject(process_, 60000) != WAIT_OBJECT_0) TerminateProcess(process_, 1);
        if (process_) CloseHandle(process_);
        CloseHandle(held_);
        CloseHandle(release_);
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

private:
    // Every host ends with this program, however it ends.
    inline static HANDLE job_ = KillOnCloseJob();
    HANDLE held_ = nullptr;
    HANDLE release_ = nullptr;
    HANDLE process_ = nullptr;
};

// What a folder holds, as full paths in lower case.
std::vector<std::wstring> Entries(const std::wstring& folder) {
    std::vector<std::wstring> paths;
    for (const std::string& name : starwright::test::FolderEntries(ToUtf8(folder) + "\\"))
        paths.push_back(Lower(folder + L"\\" + starwright::ToWide(name)));
    return paths;
}

// The temporary folders NSIS programs make for themselves ("%TEMP%\nsXXXX.tmp").
std::vector<std::wstring> SetupTemporaryFolders() {
    wchar_t temporary[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temporary);
    std::vector<std::wstring> folders = Entries(std::wstring(temporary, wcslen(temporary) - 1));
    std::erase_if(folders, [](const std::wstring& path) {
        const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
        return !name.starts_with(L"ns") || !name.ends_with(L".tmp") || !starwright::test::IsDirectory(ToUtf8(path));
    });
    return folders;
}

// The files set aside in the plug-in folders ("...\starwright.dll.old-1"), sorted.
std::vector<std::wstring> Asides() {
    std::vector<std::wstring> asides = Entries(Folder64());
    if (Folder32() != Folder64()) {
        const std::vector<std::wstring> more = Entries(Folder32());
        asides.insert(asides.end(), more.begin(), more.end());
    }
    std::erase_if(asides, [](const std::wstring& path) { return path.find(L".old-") == std::wstring::npos; });
    std::sort(asides.begin(), asides.end());
    return asides;
}

// Ctrl+C (with which a tester stops the kit) lets the scenario in progress finish and clean up;
// the ones after it are skipped.
volatile LONG g_stopped = 0;
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    InterlockedExchange(&g_stopped, 1);
    return TRUE;
}

class InstallerTest : public testing::Test {
protected:
    static void SetUpTestSuite() { SetConsoleCtrlHandler(&OnConsoleControl, TRUE); }

    void SetUp() override {
        STARWRIGHT_NEEDS_ADMINISTRATOR();
        if (!Windows64()) GTEST_SKIP() << "needs 64-bit Windows (on 32-bit Windows, InstallerOn32BitWindowsTest runs)";
        if (!X64Windows()) GTEST_SKIP() << "needs x64 Windows: the 64-bit plug-in is an x64 DLL";
        SkipUnlessReady();
    }

    // Also what the 32-bit Windows scenario needs.
    void SkipUnlessReady() {
        if (g_stopped) GTEST_SKIP() << "stopped with Ctrl+C";
        if (installer_.path.empty()) GTEST_SKIP() << "no installer in " << ToUtf8(Parts()) << " (dist/build.sh puts it there)";
        bool registered = false;
        for (const REGSAM view : kViews)
            for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
                registered = registered || KeyExists(root, kClasses + L"CLSID\\" + ids::kPlugInClsidText, view);
        if (registered || KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_64KEY) || Exists(Folder64()) ||
            Exists(Folder32()) || Exists(Shortcut()))
            GTEST_SKIP() << "Starwright is installed or registered on this machine: these tests install and remove "
                            "it, so uninstall it first";
        keysBefore_ = TouchedKeys();
        missingBefore_ = MissingKeysOnTheWayToUsersCopies();
        ready_ = true;
    }

    // Whatever the test left: removed, restarted, and the keys it touched put back.
    void TearDown() override {
        if (!ready_) return;
        heldOpen_.reset();
        hosts_.clear();
        const std::wstring quiet = MachineValue(KEY_WOW64_64KEY, kUninstallKey, L"QuietUninstallString");
        if (!quiet.empty()) RunProgram(quiet);
        Restart();
        starwright::test::RemoveFolderTree(ToUtf8(Folder64()));
        starwright::test::RemoveFolderTree(ToUtf8(Folder32()));
        for (const RegistryTree& tree : keysBefore_) tree.Restore();
        // RegDeleteKeyEx refuses a key that still has subkeys.
        for (auto key = missingBefore_.rbegin(); key != missingBefore_.rend(); ++key)
            RegDeleteKeyExW(key->root, key->path.c_str(), key->view, 0);
    }

    // An operation on a file of the installation, or on the test's own file: the scenario's.
    bool Ours(const Operation& operation) const {
        std::wstring path = OperationPath(operation.from);
        wchar_t full[MAX_PATH * 2] = {};
        const DWORD length = GetLongPathNameW(path.c_str(), full, MAX_PATH * 2);
        if (length > 0 && length < MAX_PATH * 2) path = Lower(full);
        for (const std::wstring& folder : {Folder64(), Folder32()}) {
            const std::wstring ours = Lower(folder);
            if (path == ours || path.rfind(ours + L"\\", 0) == 0) return true;
        }
        return path == Lower(otherProgramsFile_);
    }

    // Every host ends, then what Windows does at boot with the scenario's operations in
    // PendingFileRenameOperations (another program's stay for the real restart).
    void Restart() {
        hosts_.clear();
        const std::vector<Operation> pending = PendingOperations();
        if (std::none_of(pending.begin(), pending.end(), [&](const Operation& operation) { return Ours(operation); }))
            return;
        if (starwright::test::RunningUnderWine()) {
            EXPECT_EQ(ExitCode(Quoted(SystemProgram(32, L"wineboot.exe")) + L" -r"), 0u) << "Wine's restart";
            return;
        }
        std::vector<Operation> ours;
        std::copy_if(pending.begin(), pending.end(), std::back_inserter(ours),
                     [&](const Operation& operation) { return Ours(operation); });
        // Unread again, it stays as it is: written back empty, it would lose other programs' entries.
        if (!starwright::test::CarryOutPendingOperations(ours))
            ADD_FAILURE() << "PendingFileRenameOperations could not be read again; the scenario's entries stay in it";
    }

    void Hold(int bits, const std::vector<std::wstring>& files) { hosts_.push_back(std::make_unique<Host>(bits, files)); }

    std::wstring Part(const wchar_t* name) const { return Parts() + L"\\" + name; }

    // The script host of a bitness creating Starwright.PlugIn and reading its Name: "PASS: ..." or "FAIL: ...".
    std::string Client(int bits) const {
        return RunProgram(Quoted(SystemProgram(bits, L"cscript.exe")) + L" //nologo " + Quoted(Part(L"plugin_name.vbs")))
            .output;
    }
    void ExpectClient(int bits, bool creates) const {
        const std::string verdict = Client(bits);
        EXPECT_EQ(verdict.rfind(creates ? "PASS:" : "FAIL:", 0), 0u)
            << "the " << bits << "-bit script host should " << (creates ? "" : "not ")
            << "create Starwright.PlugIn: " << verdict;
    }

    void ExpectBytes(const std::wstring& installed, const std::wstring& part) const {
        EXPECT_TRUE(Bytes(installed) == Bytes(part)) << ToUtf8(installed) << " is not " << ToUtf8(part);
    }
    void ExpectOlderUninstaller() const {
        EXPECT_TRUE(Bytes(Uninstaller()) == olderUninstaller_) << ToUtf8(Uninstaller()) << " is not 0.90's";
    }
    void ExpectValue(REGSAM view, const std::wstring& key, const wchar_t* name, const std::wstring& want) const {
        EXPECT_EQ(Lower(MachineValue(view, key, name)), Lower(want))
            << Bits(view) << "-bit view: HKLM\\" << ToUtf8(key) << " [" << (name ? ToUtf8(name) : "default") << "]";
    }
    void ExpectAsides(std::vector<std::wstring> want) const {
        for (std::wstring& path : want) path = Lower(path);
        std::sort(want.begin(), want.end());
        EXPECT_EQ(Asides(), want) << "the files set aside";
    }
    void ExpectDeletedAtRestart(const std::wstring& path) const {
        const std::vector<Operation> pending = PendingOperations();
        EXPECT_TRUE(std::any_of(pending.begin(), pending.end(), [&](const Operation& operation) {
            return operation.to.empty() && OperationPath(operation.from) == Lower(path);
        })) << "Windows is not to delete "
            << ToUtf8(path) << " at the next restart";
    }
    // No operation at the next restart on a plug-in or document file that setup installs (with
    // `all`, nor on the uninstaller and the folders, which an uninstaller run in place leaves for then).
    void ExpectNothingPendingOnInstalled(bool all) const {
        std::vector<std::wstring> installed = {Dll64(), Dll32(), Folder64() + L"\\README.md", Folder64() + L"\\LICENSE"};
        if (all) installed.insert(installed.end(), {Uninstaller(), Folder64(), Folder32()});
        for (const Operation& operation : PendingOperations())
            for (const std::wstring& path : installed)
                EXPECT_TRUE(OperationPath(operation.from) != Lower(path) && OperationPath(operation.to) != Lower(path))
                    << "Windows is to delete or replace " << ToUtf8(path) << " at the next restart";
    }

    // A version, whole: its DLLs, registered in both views, its "Apps & features" version, a
    // script host of each bitness creating it; nothing of it in any loaded profile's classes.
    void ExpectInstalled(const std::wstring& version, const std::wstring& parts) const {
        ExpectBytes(Dll32(), parts + L"\\32-bit\\Starwright.dll");
        ExpectBytes(Dll64(), parts + L"\\64-bit\\Starwright.dll");
        ExpectValue(KEY_WOW64_32KEY, kClasses + L"CLSID\\" + ids::kPlugInClsidText + L"\\InprocServer32", nullptr, Dll32());
        ExpectValue(KEY_WOW64_64KEY, kClasses + L"CLSID\\" + ids::kPlugInClsidText + L"\\InprocServer32", nullptr, Dll64());
        ExpectValue(KEY_WOW64_64KEY, kUninstallKey, L"DisplayVersion", version);
        for (const UsersClasses& user : kUsersClasses)
            for (const std::wstring& key : kOwnKeys)
                for (const REGSAM view : kViews)
                    EXPECT_FALSE(KeyExists(user.root, user.classes + key, view))
                        << "a per-user copy is left: " << (user.root == HKEY_USERS ? "HKU\\" : "HKCU\\")
                        << ToUtf8(user.classes + key) << ", " << Bits(view) << "-bit view";
        ExpectClient(32, true);
        ExpectClient(64, true);
    }
    // This version, with its guide: the page and its pictures as the build made them, and a
    // Start menu entry that opens the page in whatever program Windows opens a page with.
    void ExpectInstalled() const {
        ExpectInstalled(installer_.version, Parts());
        const std::vector<std::wstring> guide = FilesUnder(Part(L"guide"));
        EXPECT_TRUE(std::find(guide.begin(), guide.end(), L"guide.html") != guide.end()) << "the kit's guide";
        for (const std::wstring& file : guide) ExpectBytes(Folder64() + L"\\" + file, Part(L"guide\\") + file);
        EXPECT_EQ(Lower(ShortcutTarget(Shortcut())), Lower(Folder64() + L"\\guide.html")) << ToUtf8(Shortcut());
        const std::wstring opener = PageOpener();
        EXPECT_TRUE(!opener.empty() && Exists(opener)) << "what opens a page, '" << ToUtf8(opener) << "', is not there";
    }

    // Version 0.90 as it was installed: nothing set aside, nothing left for the next restart.
    void ExpectOlder(const std::string& when) const {
        SCOPED_TRACE(when + ": version 0.90 is installed as it was");
        ExpectInstalled(L"0.90", Part(L"older"));
        ExpectOlderUninstaller();
        ExpectBytes(Folder64() + L"\\README.md", Part(L"older\\README.md"));
        ExpectAsides({});
        ExpectNothingPendingOnInstalled(true);
    }

    DWORD QuietUninstall() const {
        const std::wstring quiet = MachineValue(KEY_WOW64_64KEY, kUninstallKey, L"QuietUninstallString");
        EXPECT_FALSE(quiet.empty()) << "no QuietUninstallString";
        return quiet.empty() ? static_cast<DWORD>(-1) : ExitCode(quiet);
    }

    // The registry keys and the folders as before the test: nothing left.
    void ExpectNothingLeft() const {
        const std::vector<RegistryTree> now = TouchedKeys();
        EXPECT_TRUE(now == keysBefore_) << "a key setup or the uninstaller writes differs from before the test";
        EXPECT_FALSE(Exists(Folder64())) << ToUtf8(Folder64()) << " is still there";
        EXPECT_FALSE(Exists(Folder32())) << ToUtf8(Folder32()) << " is still there";
        EXPECT_FALSE(Exists(Shortcut())) << ToUtf8(Shortcut()) << " is still there";
        ExpectClient(32, false);
        ExpectClient(64, false);
    }

    // Setup replacing version 0.90, cut off as soon as it has set a file aside; where it was cut
    // off, a DLL it was writing may be half written (then true).
    bool CutOffWhileReplacingTheOlder() {
        const std::vector<std::wstring> before = SetupTemporaryFolders();
        const Ran ran = RunProgram(SetupCommand(installer_.path), Dll64() + L".old-1");
        for (const std::wstring& folder : SetupTemporaryFolders())  // setup's own, which it had no time to remove
            if (std::find(before.begin(), before.end(), folder) == before.end())
                starwright::test::RemoveFolderTree(ToUtf8(folder));
        EXPECT_TRUE(ran.cutOff) << "setup ended (" << ran.code << ") before it set 0.90's 64-bit DLL aside";
        bool half = false;
        for (const wchar_t* bits : {L"32-bit", L"64-bit"}) {
            const std::wstring own = std::wstring(bits) == L"32-bit" ? Dll32() : Dll64();
            const std::string bytes = Bytes(own);
            half = half || (Exists(own) && bytes != Bytes(Parts() + L"\\" + bits + L"\\Starwright.dll") &&
                            bytes != Bytes(Part(L"older\\") + bits + L"\\Starwright.dll"));
        }
        return half;
    }

    Installer installer_ = TheInstaller();
    std::string olderUninstaller_;
    std::vector<RegistryTree> keysBefore_;
    std::vector<MissingKey> missingBefore_;
    std::wstring otherProgramsFile_;
    std::vector<std::unique_ptr<Host>> hosts_;
    std::unique_ptr<void, decltype(&CloseHandle)> heldOpen_{nullptr, &CloseHandle};
    bool ready_ = false;
};

TEST_F(InstallerTest, RegistersEachBitnessInItsOwnViewAndWritesTheAppsAndFeaturesEntry) {
    // Stale per-user registrations, which would win over the machine's for those users: setup
    // removes them from every loaded profile.
    PlantUsersCopies();
    ASSERT_EQ(ExitCode(SetupCommand(installer_.path)), 0u);
    ExpectInstalled();
    for (const std::wstring& file : {Uninstaller(), Folder64() + L"\\README.md", Folder64() + L"\\LICENSE"})
        EXPECT_TRUE(Exists(file)) << ToUtf8(file) << " is missing";
    for (const REGSAM view : kViews) {
        const std::wstring dll = view == KEY_WOW64_32KEY ? Dll32() : Dll64();
        const std::wstring clsid = kClasses + L"CLSID\\" + ids::kPlugInClsidText;
        ExpectValue(view, clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
        ExpectValue(view, kClasses + ids::kProgId + L"\\CLSID", nullptr, ids::kPlugInClsidText);
        ExpectValue(view, kClasses + L"TypeLib\\" + ids::kLibIdText + L"\\2e.0\\0\\win" + std::to_wstring(Bits(view)),
                    nullptr, dll);
        ExpectValue(view, kClasses + L"Interface\\" + ids::kPlugInIidText + L"\\TypeLib", nullptr, ids::kLibIdText);
    }
    const std::pair<const wchar_t*, std::wstring> entry[] = {
        {L"DisplayName", L"Starwright"},
        {L"DisplayVersion", installer_.version},
        {L"Publisher", L"Starwright developers"},
        {L"InstallLocation", Folder64()},
        {L"UninstallString", Quoted(Uninstaller())},
        {L"QuietUninstallString", Quoted(Uninstaller()) + L" /S _?=" + Folder64()},
    };
    for (const auto& [name, want] : entry) ExpectValue(KEY_WOW64_64KEY, kUninstallKey, name, want);
    EXPECT_GT(std::stoul(L"0" + MachineValue(KEY_WOW64_64KEY, kUninstallKey, L"EstimatedSize")), 0u);

    // Each bitness unregistered alone leaves the other working.
    for (const int bits : {64, 32}) {
        const std::wstring dll = Quoted(bits == 32 ? Dll32() : Dll64());
        EXPECT_EQ(ExitCode(Quoted(SystemProgram(bits, L"regsvr32.exe")) + L" /u /s " + dll), 0u);
        ExpectClient(bits == 32 ? 64 : 32, true);
        EXPECT_EQ(ExitCode(Quoted(SystemProgram(bits, L"regsvr32.exe")) + L" /s " + dll), 0u);
    }
    ExpectClient(32, true);
    ExpectClient(64, true);

    // Windows is to delete a new file at the next restart, and setup cannot drop that (the
    // Session Manager's key refuses changes): it says so, 1603, rather than "installed".
    if (starwright::test::RunningUnderWine()) {
        EXPECT_TRUE(MoveFileExW(Dll32().c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
        {
            const ValuesRefused refused(kSessionManager);
            EXPECT_EQ(ExitCode(SetupCommand(installer_.path)), 1603u) << "setup leaves its new DLL to be deleted";
        }
        ExpectDeletedAtRestart(Dll32());
        EXPECT_EQ(ExitCode(SetupCommand(installer_.path)), 0u) << "setup run again drops the operation";
        ExpectNothingPendingOnInstalled(true);
    } else {
        std::printf("note: on Windows the test does not refuse changes to a tester's Session Manager key; under "
                    "Wine it does\n");
    }

    // The 64-bit DLL is gone (deleted, or quarantined by a virus scanner): the uninstaller
    // still removes every key, both views, and stale per-user copies planted since.
    ASSERT_TRUE(DeleteFileW(Dll64().c_str()));
    PlantUsersCopies();
    EXPECT_EQ(QuietUninstall(), 0u);
    Restart();
    ExpectNothingLeft();
}

TEST_F(InstallerTest, UninstallsWhileAHostHasThePlugInLoadedAndInstallsAgainBeforeTheRestart) {
    ASSERT_EQ(ExitCode(SetupCommand(installer_.path)), 0u);
    Hold(32, {Dll32()});
    Hold(64, {Dll64()});
    EXPECT_EQ(QuietUninstall(), 3010u) << "removed; a restart deletes the loaded files";
    ExpectAsides({Dll32() + L".old-1", Dll64() + L".old-1"});
    for (const std::wstring& file : {Dll64(), Dll32(), Folder64() + L"\\README.md", Folder64() + L"\\LICENSE"})
        EXPECT_FALSE(Exists(file)) << ToUtf8(file) << " is still there";
    ExpectClient(32, false);
    ExpectClient(64, false);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_64KEY)) << "the Apps & features entry";
    for (const std::wstring& path : {Dll32() + L".old-1", Dll64() + L".old-1", Uninstaller(), Folder32(), Folder64()})
        ExpectDeletedAtRestart(path);
    ExpectNothingPendingOnInstalled(false);

    // Installed again before the restart, over what an uninstaller that deleted a loaded plug-in
    // by its own name at the restart left, what one run in place from a short spelling of its
    // folder left on itself, and another program's operation, which must stay.
    wchar_t temporary[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temporary);
    const std::wstring other = otherProgramsFile_ = std::wstring(temporary) + L"starwright-another-programs-file.txt";
    CloseHandle(CreateFileW(other.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    wchar_t shortName[MAX_PATH] = {};
    GetShortPathNameW(Uninstaller().c_str(), shortName, MAX_PATH);
    // Windows makes short names only where the volume keeps them (the system drive, usually).
    if (Lower(shortName) == Lower(Uninstaller())) {
        EXPECT_FALSE(starwright::test::RunningUnderWine()) << "Wine gives no short name for " << ToUtf8(Uninstaller());
        std::printf("note: this volume keeps no short names, so the operation names the uninstaller by its long name\n");
    }
    for (const std::wstring& path : {Dll32(), std::wstring(shortName), other})
        EXPECT_TRUE(MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) << ToUtf8(path);
    EXPECT_EQ(ExitCode(SetupCommand(installer_.path)), 3010u) << "installed again; a host still has the removed one loaded";
    ExpectNothingPendingOnInstalled(true);
    ExpectDeletedAtRestart(Dll32() + L".old-1");
    ExpectDeletedAtRestart(other);
    Restart();
    ExpectInstalled();
    ExpectAsides({});
    EXPECT_TRUE(Exists(Uninstaller())) << "the restart deleted " << ToUtf8(shortName);
    EXPECT_FALSE(Exists(other)) << "the other program's operation was not done at the restart";

    EXPECT_EQ(QuietUninstall(), 0u);
    // Run in place, the uninstaller leaves itself, and so its folder, to the next restart.
    ExpectDeletedAtRestart(Uninstaller());
    Restart();
    ExpectNothingLeft();
}

TEST_F(InstallerTest, AnInstallerWhosePlugInCannotBeRegisteredLeavesNothing) {
    EXPECT_EQ(ExitCode(SetupCommand(Part(L"broken-setup.exe"))), 3u) << "setup reports the failed registration";
    ExpectNothingLeft();
}

// What only Windows' own loader can show: a DLL that a running host has loaded may be renamed,
// not written or deleted, and setup replaces it by renaming it aside.
TEST_F(InstallerTest, ReplacesAPlugInThatWindowsOwnLoaderHolds) {
    STARWRIGHT_WINDOWS_ONLY("Windows' own loader holding the plug-in (Wine 8 keeps the same rules, which "
                            "UpgradesWhileAHostHasThePlugInLoaded relies on)");
    ASSERT_EQ(ExitCode(SetupCommand(installer_.path)), 0u);
    Hold(32, {Dll32()});
    Hold(64, {Dll64()});
    for (const std::wstring& dll : {Dll32(), Dll64()}) {
        HANDLE written = CreateFileW(dll.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(written, INVALID_HANDLE_VALUE) << ToUtf8(dll) << " could be opened for writing";
        if (written != INVALID_HANDLE_VALUE) CloseHandle(written);
        EXPECT_FALSE(DeleteFileW(dll.c_str())) << ToUtf8(dll) << " could be deleted";
    }
    EXPECT_EQ(ExitCode(SetupCommand(installer_.path)), 3010u);
    ExpectInstalled();
    ExpectBytes(Dll32() + L".old-1", Part(L"32-bit\\Starwright.dll"));
    ExpectBytes(Dll64() + L".old-1", Part(L"64-bit\\Starwright.dll"));
}

// Version 0.90 installed first, from its own installer.
class UpgradeTest : public InstallerTest {
protected:
    void SetUp() override {
        if (!Exists(Part(L"older-setup.exe")))
            GTEST_SKIP() << "no version 0.90 in " << ToUtf8(Parts()) << " (made only from sources with git history)";
        InstallerTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_EQ(ExitCode(SetupCommand(Part(L"older-setup.exe"))), 0u) << "version 0.90 installed";
        ExpectValue(KEY_WOW64_64KEY, kUninstallKey, L"DisplayVersion", L"0.90");
        olderUninstaller_ = Bytes(Uninstaller());  // to tell it from a newer one later
    }
};

TEST_F(UpgradeTest, AFailedUpgradeOrAFileHeldOpenLeavesTheOlderVersionAsItWas) {
    EXPECT_EQ(ExitCode(SetupCommand(Part(L"broken-setup.exe"))), 3u)
        << "an installer whose 64-bit plug-in cannot be registered reports it";
    ExpectOlder("after the failed upgrade");

    // A program that holds the 32-bit DLL open, letting nobody rename it: the 64-bit one, set
    // aside first, is put back.
    heldOpen_.reset(CreateFileW(Dll32().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(heldOpen_.get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(ExitCode(SetupCommand(installer_.path)), 32u) << "setup says the file is in use";
    EXPECT_EQ(QuietUninstall(), 32u) << "the quiet uninstall command says the file is in use";
    ExpectOlder("while it is held");
}

TEST_F(UpgradeTest, UpgradesWhileAHostHasThePlugInLoaded) {
    // A value setup does not write stays: setup writes over the entry in place.
    HKEY entry = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &entry), 0);
    const wchar_t comment[] = L"added by an administrator";
    RegSetValueExW(entry, L"Comments", 0, REG_SZ, reinterpret_cast<const BYTE*>(comment), sizeof comment);
    RegCloseKey(entry);
    Hold(32, {Dll32()});
    Hold(64, {Dll64()});

    EXPECT_EQ(ExitCode(SetupCommand(installer_.path)), 3010u) << "installed over 0.90; a restart deletes 0.90's files";
    ExpectInstalled();
    ExpectValue(KEY_WOW64_64KEY, kUninstallKey, L"Comments", comment);
    ExpectAsides({Dll32() + L".old-1", Dll64() + L".old-1"});
    ExpectBytes(Dll32() + L".old-1", Part(L"older\\32-bit\\Starwright.dll"));
    ExpectDeletedAtRestart(Dll32() + L".old-1");
    ExpectDeletedAtRestart(Dll64() + L".old-1");
    ExpectNothingPendingOnInstalled(true);

    // Again, while the host still has 0.90 loaded from the files set aside.
    EXPECT_EQ(ExitCode(SetupCommand(installer_.path)), 3010u) << "installed again; 0.90's files set aside are still loaded";
    ExpectAsides({Dll32() + L".old-1", Dll64() + L".old-1"});

    // Over itself, while another host has its 32-bit plug-in loaded.
    Hold(32, {Dll32()});
    EXPECT_EQ(ExitCode(SetupCommand(installer_.path)), 3010u) << "installed over itself";
    ExpectAsides({Dll32() + L".old-1", Dll64() + L".old-1", Dll32() + L".old-2"});
    ExpectBytes(Dll32() + L".old-2", Part(L"32-bit\\Starwright.dll"));
    ExpectDeletedAtRestart(Dll32() + L".old-2");
    ExpectNothingPendingOnInstalled(true);

    Restart();
    ExpectInstalled();
    ExpectAsides({});
    EXPECT_EQ(ExitCode(SetupCommand(installer_.path)), 0u) << "installed over itself with nothing loaded";
    ExpectAsides({});
    ExpectNothingPendingOnInstalled(true);
}

// The power fails (setup and all it started end at once) as soon as setup, replacing 0.90, has
// set a file aside. From there, setup run again finishes the installation; or 0.90's uninstaller,
// which knows nothing of setup's record, removes everything.
TEST_F(UpgradeTest, ASetupCutOffIsFinishedBySetupRunAgain) {
    CutOffWhileReplacingTheOlder();
    EXPECT_EQ(ExitCode(SetupCommand(installer_.path)), 0u) << "setup finishes the installation";
    ExpectInstalled();
    ExpectAsides({});
}

TEST_F(UpgradeTest, ASetupCutOffIsRemovedByTheOlderUninstaller) {
    const std::wstring quiet = MachineValue(KEY_WOW64_64KEY, kUninstallKey, L"QuietUninstallString");
    const bool half = CutOffWhileReplacingTheOlder();
    ExpectOlderUninstaller();
    // It cannot load a half-written DLL to unregister it, and says so; it removes it all the same.
    EXPECT_EQ(ExitCode(quiet), half ? 3u : 0u) << "0.90's quiet uninstall command"
                                          << (half ? ", with a DLL half written" : "");
    Restart();
    ExpectNothingLeft();
}

// On 32-bit Windows: no Program Files (x86), no 64-bit plug-in; the 32-bit one and the
// uninstaller go into Program Files, registered with the one regsvr32 there is.
class InstallerOn32BitWindowsTest : public InstallerTest {
protected:
    void SetUp() override {
        STARWRIGHT_NEEDS_ADMINISTRATOR();
        if (Windows64()) GTEST_SKIP() << "needs 32-bit Windows";
        SkipUnlessReady();
    }
};

TEST_F(InstallerOn32BitWindowsTest, InstallsThe32BitPlugInAlone) {
    ASSERT_EQ(ExitCode(SetupCommand(installer_.path)), 0u);
    ExpectBytes(Dll32(), Part(L"32-bit\\Starwright.dll"));
    EXPECT_FALSE(Exists(Environment(L"SystemDrive") + L"\\Program Files (x86)\\Starwright"));
    ExpectClient(32, true);
    EXPECT_EQ(QuietUninstall(), 0u);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClasses + L"CLSID\\" + ids::kPlugInClsidText, 0));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, 0)) << "the Apps & features entry";
    Restart();
    EXPECT_FALSE(Exists(Folder64())) << ToUtf8(Folder64()) << " is still there after a restart";
}

}  // namespace
