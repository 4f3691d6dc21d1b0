// The test kit's runner (run-tests.cmd calls it): runs every test program of the kit as ctest
// runs it under Wine, the 64-bit ones only on 64-bit Windows, one after another; prints each run's
// result and a last line "N passed, N failed, N skipped"; and writes a report folder for the
// tester to send back: each run's GoogleTest XML and summary.txt (the Windows version and build,
// the bitness, the user locale, the screen's dpi, whether the prompt was elevated, each run's
// result and every skipped test with its reason).
//
// The tests register the plug-in and the host's type library, install and remove the plug-in,
// and change the user's number settings; each puts back what it changed. As a safety net, the
// runner reads the keys they touch before every run and puts them back after it, and uninstalls
// a Starwright that a run installed and left, also when the run failed or was stopped with
// Ctrl+C (which ends the run in progress, or lets the installer's scenario in progress finish,
// and starts no other).
//
//   run_tests.exe KIT_FOLDER

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "host/com/host_ids.h"
#include "platform/text_win.h"
#include "plugin/identifiers.h"
#include "plugin/registry_tree.h"

namespace {

using starwright::ToUtf8;
using starwright::ToWide;
using starwright::plugin::RegistryTree;

volatile LONG g_stopped = 0;

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    InterlockedExchange(&g_stopped, 1);
    return TRUE;  // the runner lives on to put things back; the test program in progress ends
}

// Whole files, through the wide API: the kit may sit in any folder.
std::string ReadWhole(const std::wstring& path) {
    std::string text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
    CloseHandle(file);
    return text;
}

void WriteWhole(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// Every key a test program may change, as it stands before the program runs.
std::vector<RegistryTree> ReadTouchedKeys() {
    using namespace starwright::plugin;
    const std::wstring classes = L"Software\\Classes\\";
    // The host's type library ("MaxIm", the stand-in's) and the interfaces registering it writes.
    using namespace starwright::com::host_ids;
    const GUID hostInterfaces[] = {kDocumentInterface, kCameraInterface, kApplicationInterface,
                                   kDocumentListInterface};
    std::vector<RegistryTree> trees;
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        trees.emplace_back(HKEY_LOCAL_MACHINE, classes + L"CLSID\\" + kPlugInClsidText, view);
        trees.emplace_back(HKEY_LOCAL_MACHINE, classes + L"Interface\\" + kPlugInIidText, view);
        for (const GUID& iid : hostInterfaces)
            trees.emplace_back(HKEY_LOCAL_MACHINE, classes + L"Interface\\" + GuidText(iid), view);
    }
    trees.emplace_back(HKEY_LOCAL_MACHINE, classes + L"TypeLib\\" + kLibIdText, KEY_WOW64_64KEY);
    trees.emplace_back(HKEY_LOCAL_MACHINE, classes + L"TypeLib\\" + GuidText(kHostLibId), KEY_WOW64_64KEY);
    trees.emplace_back(HKEY_LOCAL_MACHINE, classes + kProgId, KEY_WOW64_64KEY);
    trees.emplace_back(HKEY_CURRENT_USER, classes + L"CLSID\\" + kPlugInClsidText, 0);
    trees.emplace_back(HKEY_CURRENT_USER, L"Control Panel\\International", 0);
    return trees;
}

void PutBack(const std::vector<RegistryTree>& trees) {
    for (const RegistryTree& tree : trees) tree.Restore();
    // Programs read the number settings once; tell them they may have changed back.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"intl"), SMTO_ABORTIFHUNG,
                        2000, &ignored);
}

// The quiet uninstall command of an installed Starwright; empty when none is installed. The
// installer's scenarios uninstall what they install; a program of theirs that ended before it
// could (a crash) leaves the runner to do it.
std::wstring QuietUninstallCommand() {
    HKEY entry = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Starwright", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &entry) != ERROR_SUCCESS)
        return {};
    wchar_t command[1024] = {};
    DWORD size = sizeof command - sizeof(wchar_t), type = 0;
    const LSTATUS status =
        RegQueryValueExW(entry, L"QuietUninstallString", nullptr, &type, reinterpret_cast<BYTE*>(command), &size);
    RegCloseKey(entry);
    return status == ERROR_SUCCESS && type == REG_SZ ? command : L"";
}

struct Run {
    std::string name;
    std::string program;
    std::string arguments;
};

std::vector<Run> ReadRuns(const std::wstring& file) {
    std::vector<Run> runs;
    std::istringstream in(ReadWhole(file));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t first = line.find('\t');
        const size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
        if (second == std::string::npos) continue;
        runs.push_back({line.substr(0, first), line.substr(first + 1, second - first - 1), line.substr(second + 1)});
    }
    return runs;
}

std::string Unescape(std::string text) {
    const std::pair<const char*, const char*> entities[] = {
        {"&#x0A;", "\n"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}};
    for (const auto& [entity, plain] : entities)
        for (size_t at = 0; (at = text.find(entity, at)) != std::string::npos; at += std::strlen(plain))
            text.replace(at, std::strlen(entity), plain);
    return text;
}

std::string Attribute(const std::string& element, const std::string& name) {
    const std::string key = " " + name + "=\"";
    const size_t start = element.find(key);
    if (start == std::string::npos) return {};
    const size_t end = element.find('"', start + key.size());
    return Unescape(element.substr(start + key.size(), end - start - key.size()));
}

struct Result {
    int passed = 0;
    int failed = 0;
    int skipped = 0;
    std::vector<std::string> notes;  // failed and skipped tests, with the skip's reason
};

// GoogleTest's XML: one <testcase> per test, with a <failure> when it failed and
// result="skipped" with a <skipped message="file:line&#x0A;reason"> when it was skipped (GoogleTest
// 1.16 adds a last &#x0A;).
Result ReadResult(const std::wstring& xml) {
    Result result;
    const std::string all = ReadWhole(xml);
    for (size_t at = 0; (at = all.find("<testcase ", at)) != std::string::npos;) {
        const size_t tagEnd = all.find('>', at);
        const bool empty = tagEnd != std::string::npos && all[tagEnd - 1] == '/';
        const size_t end = empty ? tagEnd : all.find("</testcase>", at);
        const std::string element = all.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? all.size() : end;
        const std::string test = Attribute(element, "classname") + "." + Attribute(element, "name");
        if (Attribute(element, "status") == "notrun") continue;
        if (element.find("<failure") != std::string::npos) {
            ++result.failed;
            result.notes.push_back("failed  " + test);
        } else if (Attribute(element, "result") == "skipped") {
            ++result.skipped;
            std::string reason;
            const size_t skippedAt = element.find("<skipped ");
            if (skippedAt != std::string::npos) reason = Attribute(element.substr(skippedAt), "message");
            // Newer GoogleTest ends the message with a line end too.
            while (!reason.empty() && reason.back() == '\n') reason.pop_back();
            reason = reason.substr(reason.rfind('\n') == std::string::npos ? 0 : reason.rfind('\n') + 1);
            result.notes.push_back("skipped " + test + ": " + reason);
        } else {
            ++result.passed;
        }
    }
    return result;
}

// Runs one program in its folder, its output into `log`, waiting for it; its exit code, or -1
// when it could not start (`why` then says why).
long RunProgram(const std::wstring& folder, const std::wstring& commandLine, const std::wstring& log,
                std::string& why) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE output = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS, 0, nullptr);
    if (output == INVALID_HANDLE_VALUE) {
        why = "its log could not be made, error " + std::to_string(GetLastError());
        return -1;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    const BOOL started =
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup, &process);
    const DWORD error = GetLastError();
    CloseHandle(output);
    if (!started) {
        why = "error " + std::to_string(error);
        return -1;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return static_cast<long>(code);
}

bool OnWindows64() {
    BOOL wow64 = FALSE;
    return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}

std::string MachineSummary() {
    std::ostringstream text;
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    using WineVersionFn = const char*(CDECL*)();
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (auto get = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion"))))
        get(&version);
    text << "Windows: " << version.dwMajorVersion << "." << version.dwMinorVersion << " build "
         << version.dwBuildNumber;
    if (auto wine = reinterpret_cast<WineVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version"))))
        text << " (Wine " << wine() << ")";
    text << "\nWindows bitness: " << (OnWindows64() ? 64 : 32) << "\n";
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
    text << "User locale: " << ToUtf8(locale) << "\n";
    HDC screen = GetDC(nullptr);
    text << "Screen: " << GetDeviceCaps(screen, LOGPIXELSX) << " dpi\n";
    ReleaseDC(nullptr, screen);
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                          GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                          elevation.TokenIsElevated;
    if (token) CloseHandle(token);
    text << "Elevated prompt: " << (elevated ? "yes" : "no") << "\n";
    return text.str();
}

int Main(const std::wstring& kit) {
    // The test programs skip a run for another language than the machine's (test_main.cpp).
    SetEnvironmentVariableW(L"STARWRIGHT_TEST_KIT", L"1");
    SetProcessDPIAware();  // the screen's own dpi, not the 96 a program that is not aware is told
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
    const std::wstring report = kit + L"\\report";
    CreateDirectoryW(report.c_str(), nullptr);
    std::ostringstream summary;
    summary << MachineSummary() << "\n";
    std::printf("%s\n", summary.str().c_str());
    std::fflush(stdout);

    int passed = 0, failed = 0, skipped = 0;
    std::vector<const wchar_t*> bitnesses = {L"32-bit"};
    if (OnWindows64()) bitnesses.push_back(L"64-bit");
    else summary << "64-bit runs: not run on 32-bit Windows\n";
    for (const wchar_t* bits : bitnesses) {
        const std::wstring folder = kit + L"\\" + bits;
        for (const Run& run : ReadRuns(folder + L"\\runs.txt")) {
            if (g_stopped) break;
            const std::string label = ToUtf8(bits) + " " + run.name;
            const std::wstring xml = report + L"\\" + bits + L"-" + ToWide(run.name) + L".xml";
            const std::wstring log = report + L"\\" + bits + L"-" + ToWide(run.name) + L".log";
            DeleteFileW(xml.c_str());
            const std::vector<RegistryTree> before = ReadTouchedKeys();
            const bool installed = !QuietUninstallCommand().empty();
            std::string why;
            const long code = RunProgram(folder,
                                         L"\"" + folder + L"\\" + ToWide(run.program) + L"\" " + ToWide(run.arguments) +
                                             L" \"--gtest_output=xml:" + xml + L"\"",
                                         log, why);
            if (const std::wstring uninstall = QuietUninstallCommand(); !installed && !uninstall.empty()) {
                std::string ignored;
                RunProgram(folder, uninstall, report + L"\\" + bits + L"-" + ToWide(run.name) + L"-uninstall.log", ignored);
            }
            PutBack(before);
            Result result = ReadResult(xml);
            // A program that ended early (a crash, Ctrl+C) or could not start wrote no results
            // for the tests it did not finish: the run counts as one failure more.
            if (code != 0 && result.failed == 0) {
                ++result.failed;
                result.notes.push_back(code == -1 ? "failed  the program did not start: " + why
                                                  : "failed  the program ended with code " + std::to_string(code) +
                                                        (g_stopped ? " (stopped with Ctrl+C)" : ""));
            }
            passed += result.passed;
            failed += result.failed;
            skipped += result.skipped;
            char line[256];
            std::snprintf(line, sizeof line, "%-7s %s: %d passed, %d failed, %d skipped\n",
                          result.failed ? "FAILED" : "ok", label.c_str(), result.passed, result.failed,
                          result.skipped);
            summary << line;
            std::printf("%s", line);
            for (const std::string& note : result.notes) {
                summary << "        " << note << "\n";
                std::printf("        %s\n", note.c_str());
            }
            std::fflush(stdout);
        }
    }
    if (g_stopped) {
        summary << "stopped with Ctrl+C: the runs after it did not run\n";
        std::printf("stopped with Ctrl+C: the runs after it did not run\n");
    }
    char last[128];
    std::snprintf(last, sizeof last, "%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    summary << last;
    WriteWhole(report + L"\\summary.txt", summary.str());
    std::printf("report: %s\\summary.txt\n%s", ToUtf8(report).c_str(), last);
    return failed == 0 && !g_stopped ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: run_tests.exe KIT_FOLDER\n");
        return 2;
    }
    try {
        // A full path without a trailing "\" (run-tests.cmd passes "%~dp0.").
        wchar_t full[MAX_PATH * 4] = {};
        GetFullPathNameW(argv[1], MAX_PATH * 4, full, nullptr);
        std::wstring kit = full;
        if (kit.size() > 3 && kit.back() == L'\\') kit.pop_back();
        return Main(kit);
    } catch (...) {
        std::fprintf(stderr, "run_tests: an unexpected failure\n");
        return 2;
    }
}
