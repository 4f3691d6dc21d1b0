// The test kit's runner (run-tests.cmd calls it): runs every test program of the kit as ctest
// runs it under Wine, the 64-bit ones only on 64-bit Windows, one after another; prints each run's
// result and a last line "N passed, N failed, N skipped"; and writes a report folder for the
// tester to send back: each run's GoogleTest XML and summary.txt (the Windows version, build and
// revision, the architecture, the user locale, the screen's dpi, whether the prompt was elevated,
// each run's result and every skipped test with its reason).
//
// The tests leave the tester's own registrations alone (a test that would change one is skipped
// where it exists); what they register where nothing was, and the user's number settings they
// change, they put back themselves. As a safety net, before each program the runner writes a
// journal of every key the tests may touch (and whether Starwright is installed), flushed to disk:
// an elevated run's under HKLM\Software\Starwright test kit, which only administrators may write,
// a standard user's under HKCU. After the program it puts each tree back exactly as the journal
// holds it and uninstalls a Starwright that the run installed. The same happens when the run is
// stopped with Ctrl+C or Ctrl+Break (the program in progress ends, no other starts) and, as far as
// Windows gives the runner the seconds, when the console window is closed; a run ended otherwise
// (Task Manager's "End task", log-off, shut-down) leaves the journal, and the next run lists what
// differs from it and puts that back when the tester says so, before anything else. A put-back
// that fails ends the run, so that its journal is kept for the next one. Each program runs in a
// job that ends it with the runner, and within a time limit; one kit runs at a time.
//
//   run_tests.exe KIT_FOLDER [--standard-user] [--time-limit SECONDS] [--put-back-left | --keep-left]
//                 [RUN...]
//
// RUN names runs to run (as the summary names them, e.g. plugin_module_life); none: all of them.
// --standard-user makes the tests take a standard user's path on an administrator's prompt.
// --put-back-left and --keep-left answer the question about a journal an ended run left.

#include <windows.h>

#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host/com/host_ids.h"
#include "platform/text_win.h"
#include "plugin/identifiers.h"
#include "plugin/registry_tree.h"
#include "tests/wine/pending_operations.h"
#include "tests/wine/plugin_test_support.h"

namespace {

using starwright::ToUtf8;
using starwright::ToWide;
using starwright::test::KeyExists;
using starwright::test::Operation;
using starwright::test::OperationPath;

// RegGetValue's RRF_SUBKEY_WOW6464KEY, which the headers give only to programs for Windows 10.
constexpr DWORD kSubkeyIn64BitView = 0x00010000;

volatile LONG g_stopped = 0;

BOOL WINAPI OnConsoleControl(DWORD event);
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

// A registry tree as a journal keeps it: each key's depth below the tree's top, its name and
// its values, in the order a walk of the tree meets them.
struct SavedValue {
    std::wstring name;
    DWORD type = 0;
    std::vector<BYTE> data;
};
struct SavedKey {
    int depth = 0;
    std::wstring name;
    std::vector<SavedValue> values;
};
struct SavedTree {
    HKEY root = nullptr;
    REGSAM view = 0;
    std::wstring path;
    bool existed = false;
    // Where the tree was absent: how many of its path's leading keys were there. A program that
    // made the tree may have made the keys on the way too; putting it back takes away the empty ones.
    int ancestors = 0;
    // Every key and value in it could be read: a tree that could not be read whole is never put
    // back from the journal, which would then lack what it could not read.
    bool readable = true;
    std::vector<SavedKey> keys;
};

// False when anything in the key could not be read.
bool ReadKey(HKEY key, int depth, const std::wstring& name, REGSAM view, std::vector<SavedKey>& into) {
    SavedKey saved{depth, name, {}};
    DWORD subkeys = 0, longestSubkey = 0, values = 0, longestName = 0, longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr, &values, &longestName,
                         &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    bool whole = true;
    for (DWORD i = 0; i < values; ++i) {
        SavedValue value{std::wstring(longestName + 1, L'\0'), 0, std::vector<BYTE>(longestData + 1)};
        DWORD nameLength = longestName + 1, dataLength = longestData + 1;
        const LSTATUS status =
            RegEnumValueW(key, i, value.name.data(), &nameLength, nullptr, &value.type, value.data.data(), &dataLength);
        if (status != ERROR_SUCCESS) {
            whole = whole && status == ERROR_NO_MORE_ITEMS;
            break;
        }
        value.name.resize(nameLength);
        value.data.resize(dataLength);
        saved.values.push_back(std::move(value));
    }
    std::sort(saved.values.begin(), saved.values.end(),
              [](const SavedValue& a, const SavedValue& b) { return a.name < b.name; });
    into.push_back(std::move(saved));
    std::vector<std::wstring> names;
    for (DWORD i = 0; i < subkeys; ++i) {
        std::wstring child(longestSubkey + 1, L'\0');
        DWORD length = longestSubkey + 1;
        const LSTATUS status = RegEnumKeyExW(key, i, child.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            whole = whole && status == ERROR_NO_MORE_ITEMS;
            break;
        }
        child.resize(length);
        names.push_back(std::move(child));
    }
    std::sort(names.begin(), names.end());
    for (const std::wstring& child : names) {
        HKEY opened = nullptr;
        const LSTATUS status = RegOpenKeyExW(key, child.c_str(), 0, KEY_READ | view, &opened);
        if (status != ERROR_SUCCESS) {
            whole = whole && status == ERROR_FILE_NOT_FOUND;  // gone meanwhile
            continue;
        }
        whole = ReadKey(opened, depth + 1, child, view, into) && whole;
        RegCloseKey(opened);
    }
    return whole;
}

// The path's leading keys up to the `count`th ("A\\B\\C", 2: "A\\B").
std::wstring LeadingKeys(const std::wstring& path, int count) {
    size_t end = 0;
    for (int i = 0; i < count && end != std::wstring::npos; ++i) end = path.find(L'\\', end + (i > 0));
    return path.substr(0, end);
}

SavedTree ReadTree(HKEY root, const std::wstring& path, REGSAM view) {
    SavedTree tree{root, view, path, false, 0, true, {}};
    HKEY key = nullptr;
    const LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key);
    if (status != ERROR_SUCCESS) {
        tree.readable = status == ERROR_FILE_NOT_FOUND;
        const int depth = static_cast<int>(std::count(path.begin(), path.end(), L'\\')) + 1;
        while (tree.ancestors + 1 < depth && KeyExists(root, LeadingKeys(path, tree.ancestors + 1), view))
            ++tree.ancestors;
        return tree;
    }
    tree.existed = true;
    tree.readable = ReadKey(key, 0, L"", view, tree.keys);
    RegCloseKey(key);
    return tree;
}

// The tree as it is now differs from the journal's (with `made`, also where keys were made on the
// way to it).
bool Differs(const SavedTree& saved, bool made = true) {
    const SavedTree now = ReadTree(saved.root, saved.path, saved.view);
    if (now.existed != saved.existed || (made && now.ancestors != saved.ancestors) ||
        now.keys.size() != saved.keys.size())
        return true;
    for (size_t i = 0; i < now.keys.size(); ++i) {
        const SavedKey &a = now.keys[i], &b = saved.keys[i];
        if (a.depth != b.depth || a.name != b.name || a.values.size() != b.values.size()) return true;
        for (size_t j = 0; j < a.values.size(); ++j)
            if (a.values[j].name != b.values[j].name || a.values[j].type != b.values[j].type ||
                a.values[j].data != b.values[j].data)
                return true;
    }
    return false;
}

// Puts a tree back as the journal holds it: where it differs, it is taken down and made again,
// key by key, as lasting keys (a key a test made volatile, or gave values, does not stay so).
// False when that failed.
bool PutTreeBack(const SavedTree& saved) {
    if (!Differs(saved)) return true;
    // A delete that stops half-way still leaves the journal's keys to be made again (a key that
    // is still there is opened); the comparison at the end says whether it all came back.
    starwright::plugin::DeleteRegistryTree(saved.root, saved.path, saved.view);
    bool ok = true;
    std::vector<HKEY> open;  // the key of each depth on the way down
    for (const SavedKey& key : saved.keys) {
        while (static_cast<int>(open.size()) > key.depth) {
            RegCloseKey(open.back());
            open.pop_back();
        }
        HKEY parent = open.empty() ? saved.root : open.back();
        const std::wstring name = open.empty() ? saved.path : key.name;
        HKEY made = nullptr;
        if (static_cast<int>(open.size()) != key.depth ||
            RegCreateKeyExW(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | saved.view, nullptr,
                            &made, nullptr) != ERROR_SUCCESS) {
            ok = false;
            continue;
        }
        for (const SavedValue& value : key.values)
            ok = RegSetValueExW(made, value.name.c_str(), 0, value.type, value.data.data(),
                                static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS && ok;
        open.push_back(made);
    }
    for (HKEY key : open) RegCloseKey(key);
    // Keys made on the way to a tree that was not there go with it, where nothing else is in them.
    const int depth = static_cast<int>(std::count(saved.path.begin(), saved.path.end(), L'\\')) + 1;
    for (int count = depth - 1; !saved.existed && count > saved.ancestors; --count) {
        const std::wstring path = LeadingKeys(saved.path, count);
        HKEY key = nullptr;
        DWORD subkeys = 1, values = 1;
        if (RegOpenKeyExW(saved.root, path.c_str(), 0, KEY_QUERY_VALUE | saved.view, &key) != ERROR_SUCCESS) continue;
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                         nullptr);
        RegCloseKey(key);
        if (subkeys != 0 || values != 0) break;  // another tree's, put back in its turn, or not a test's
        RegDeleteKeyExW(saved.root, path.c_str(), saved.view, 0);
    }
    return ok && !Differs(saved, false);
}

// Every key a test program may change, as it stands before the program runs.
std::vector<SavedTree> ReadTouchedKeys() {
    using namespace starwright::plugin;
    const std::wstring classes = L"Software\\Classes\\";
    // The host's type library ("MaxIm", the stand-in's) and the interfaces registering it writes.
    using namespace starwright::com::host_ids;
    const GUID hostInterfaces[] = {kDocumentInterface, kCameraInterface, kApplicationInterface,
                                   kDocumentListInterface};
    std::vector<SavedTree> trees;
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            trees.push_back(ReadTree(root, classes + L"CLSID\\" + kPlugInClsidText, view));
            trees.push_back(ReadTree(root, classes + L"Interface\\" + kPlugInIidText, view));
            for (const GUID& iid : hostInterfaces)
                trees.push_back(ReadTree(root, classes + L"Interface\\" + GuidText(iid), view));
        }
        trees.push_back(ReadTree(HKEY_LOCAL_MACHINE, classes + L"TypeLib\\" + kLibIdText, view));
        trees.push_back(ReadTree(HKEY_LOCAL_MACHINE, classes + L"TypeLib\\" + GuidText(kHostLibId), view));
        trees.push_back(ReadTree(HKEY_LOCAL_MACHINE, classes + kProgId, view));
        // The installer's scenarios plant per-user copies in another loaded profile's classes too.
        for (const std::wstring& key : {L"CLSID\\" + std::wstring(kPlugInClsidText),
                                        L"Interface\\" + std::wstring(kPlugInIidText),
                                        L"TypeLib\\" + std::wstring(kLibIdText), std::wstring(kProgId)})
            trees.push_back(ReadTree(HKEY_USERS, L".Default\\" + classes + key, view));
    }
    trees.push_back(ReadTree(HKEY_CURRENT_USER, classes + kProgId, 0));
    trees.push_back(ReadTree(HKEY_CURRENT_USER, classes + L"TypeLib\\" + kLibIdText, 0));
    trees.push_back(ReadTree(HKEY_CURRENT_USER, L"Software\\Starwright test classes", 0));
    trees.push_back(ReadTree(HKEY_CURRENT_USER, L"Control Panel\\International", 0));
    return trees;
}

// The journal: text, one item a line, names and data in hexadecimal.
std::string Hex(const void* bytes, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        const unsigned char b = static_cast<const unsigned char*>(bytes)[i];
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text.empty() ? "-" : text;
}
std::string Hex(const std::wstring& text) { return Hex(text.data(), text.size() * sizeof(wchar_t)); }

// The bytes Hex wrote; `whole` turns false on anything else.
std::vector<BYTE> Bytes(const std::string& hex, bool& whole) {
    std::vector<BYTE> bytes;
    if (hex == "-") return bytes;
    const auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
    whole = whole && !hex.empty() && hex.size() % 2 == 0;
    for (size_t i = 0; whole && i + 1 < hex.size(); i += 2) {
        const int high = digit(hex[i]), low = digit(hex[i + 1]);
        whole = high >= 0 && low >= 0;
        bytes.push_back(static_cast<BYTE>(high * 16 + low));
    }
    return bytes;
}
std::wstring WideFromHex(const std::string& hex, bool& whole) {
    const std::vector<BYTE> bytes = Bytes(hex, whole);
    whole = whole && bytes.size() % sizeof(wchar_t) == 0;
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

struct Journal {
    std::wstring user;       // the account whose HKEY_CURRENT_USER the journal holds (its SID)
    bool installed = false;  // Starwright was installed before the program ran
    std::vector<SavedTree> trees;
    std::vector<Operation> pending;  // PendingFileRenameOperations before the program ran
};

const char* RootName(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? "HKLM" : root == HKEY_USERS ? "HKU" : "HKCU";
}

std::string JournalText(const Journal& journal) {
    std::ostringstream text;
    text << "starwright test kit journal 2\nuser " << Hex(journal.user) << "\ninstalled " << (journal.installed ? 1 : 0)
         << "\n";
    for (const SavedTree& tree : journal.trees) {
        text << "tree " << RootName(tree.root) << " " << tree.view << " "
             << (tree.existed ? 1 : 0) << " " << tree.ancestors << " " << Hex(tree.path) << "\n";
        for (const SavedKey& key : tree.keys) {
            text << "key " << key.depth << " " << Hex(key.name) << "\n";
            for (const SavedValue& value : key.values)
                text << "value " << Hex(value.name) << " " << value.type << " " << Hex(value.data.data(), value.data.size())
                     << "\n";
        }
    }
    for (const Operation& operation : journal.pending)
        text << "pending " << Hex(operation.from) << " " << Hex(operation.to) << "\n";
    text << "end\n";
    return text.str();
}

// False when the text is not a whole journal of this runner's.
bool ParseJournal(const std::string& text, Journal& journal) {
    std::istringstream in(text);
    std::string line, word;
    bool whole = true;
    if (!std::getline(in, line) || line != "starwright test kit journal 2") return false;
    while (whole && std::getline(in, line)) {
        std::istringstream fields(line);
        fields >> word;
        if (word == "end") return true;
        if (word == "user") {
            std::string user;
            fields >> user;
            journal.user = WideFromHex(user, whole);
        } else if (word == "installed") {
            int installed = 0;
            fields >> installed;
            journal.installed = installed != 0;
        } else if (word == "tree") {
            std::string root, path;
            SavedTree tree;
            int existed = 0;
            fields >> root >> tree.view >> existed >> tree.ancestors >> path;
            tree.root = root == "HKLM" ? HKEY_LOCAL_MACHINE : root == "HKU" ? HKEY_USERS : HKEY_CURRENT_USER;
            tree.existed = existed != 0;
            tree.path = WideFromHex(path, whole);
            journal.trees.push_back(std::move(tree));
        } else if (word == "pending") {
            std::string from, to;
            fields >> from >> to;
            journal.pending.push_back({WideFromHex(from, whole), WideFromHex(to, whole)});
        } else if (word == "key" && !journal.trees.empty()) {
            SavedKey key;
            std::string name;
            fields >> key.depth >> name;
            key.name = WideFromHex(name, whole);
            journal.trees.back().keys.push_back(std::move(key));
        } else if (word == "value" && !journal.trees.empty() && !journal.trees.back().keys.empty()) {
            SavedValue value;
            std::string name, data;
            fields >> name >> value.type >> data;
            value.name = WideFromHex(name, whole);
            value.data = Bytes(data, whole);
            journal.trees.back().keys.back().values.push_back(std::move(value));
        }
    }
    return false;
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

// Ends the program in progress with the runner: a job that is closed with the runner's last
// handle, also when the runner is ended outright.
HANDLE g_job = nullptr;

// PROC_THREAD_ATTRIBUTE_JOB_LIST (Windows 10), which the headers give only to programs for it.
constexpr DWORD_PTR kJobListAttribute = 0x0002000D;

// Keeps the main thread and a console event (the window closed) from putting things back at once,
// and a program from starting while the event puts back.
CRITICAL_SECTION g_journalLock;

// Runs one program in its folder, its output into `log`, waiting for it at most `limit` seconds;
// its exit code, -1 when it could not start (`why` then says why), -2 when it ran past its limit
// and was ended. A contained program runs in the runner's job, and what it leaves running ends
// with it.
long RunProgram(const std::wstring& folder, const std::wstring& commandLine, const std::wstring& log,
                std::string& why, DWORD limit = INFINITE, bool contained = true) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE output = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS, 0, nullptr);
    if (output == INVALID_HANDLE_VALUE) {
        why = "its log could not be made, error " + std::to_string(GetLastError());
        return -1;
    }
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.StartupInfo.hStdOutput = output;
    startup.StartupInfo.hStdError = output;
    // On Windows 10 and later the program is in the job from its first instruction: a runner
    // ended between starting it and putting it in the job would leave it running, holding its
    // log. Older Windows refuses the attribute; the program is then put in the job while suspended.
    std::vector<char> attributes;
    SIZE_T attributesSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &attributesSize);
    attributes.resize(attributesSize);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    const bool listMade = contained && g_job && InitializeProcThreadAttributeList(list, 1, 0, &attributesSize);
    if (listMade && UpdateProcThreadAttribute(list, 0, kJobListAttribute, &g_job, sizeof g_job, nullptr, nullptr))
        startup.lpAttributeList = list;
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    // A program of the run starts only while the run goes on: a console event that ends the run
    // holds the lock while it ends the job's programs and puts back.
    if (contained) EnterCriticalSection(&g_journalLock);
    if (contained && g_stopped) {
        LeaveCriticalSection(&g_journalLock);
        CloseHandle(output);
        return -3;
    }
    const auto start = [&] {
        return CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                              CREATE_SUSPENDED | (startup.lpAttributeList ? EXTENDED_STARTUPINFO_PRESENT : 0), nullptr,
                              folder.c_str(), &startup.StartupInfo, &process);
    };
    BOOL started = start();
    if (!started && startup.lpAttributeList) {
        startup.lpAttributeList = nullptr;
        started = start();
    }
    const DWORD error = GetLastError();
    CloseHandle(output);
    if (listMade) DeleteProcThreadAttributeList(list);
    // Where the job cannot take it (a runner started in a job of its own on old Windows), the
    // program runs without; the time limit then ends it alone.
    BOOL listed = FALSE;
    const bool inJob = started && contained && g_job &&
                       ((IsProcessInJob(process.hProcess, g_job, &listed) && listed) ||
                        AssignProcessToJobObject(g_job, process.hProcess));
    if (started) ResumeThread(process.hThread);
    if (contained) LeaveCriticalSection(&g_journalLock);
    if (!started) {
        why = "error " + std::to_string(error);
        return -1;
    }
    CloseHandle(process.hThread);
    long result = 0;
    if (WaitForSingleObject(process.hProcess, limit) == WAIT_TIMEOUT) {
        if (inJob) TerminateJobObject(g_job, 1);
        else TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 30000);
        result = -2;
    } else {
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        result = static_cast<long>(code);
        // What the program started and left (a host of the installer's scenarios) ends with it.
        if (inJob) TerminateJobObject(g_job, 1);
    }
    CloseHandle(process.hProcess);
    return result;
}

// Where the journal is kept: an elevated run's in the machine's registry, under a key that only
// administrators and the system may write, since the next elevated run puts back whatever the
// journal there holds (a standard user could otherwise plant one, or edit one a run left, and
// have an administrator write the machine's classes for them); a standard user's run's in their
// own registry, from which only their own keys are ever put back. A registry value rather than a
// file: the registry's own access rules guard it, and RegFlushKey puts it on the disk.
struct JournalPlace {
    HKEY root = HKEY_LOCAL_MACHINE;
    const wchar_t* name() const { return root == HKEY_LOCAL_MACHINE ? L"HKLM" : L"HKCU"; }
};
constexpr wchar_t kJournalKey[] = L"Software\\Starwright test kit";
constexpr wchar_t kJournalValue[] = L"Journal";

std::string JournalWhere(const JournalPlace& place) {
    return ToUtf8(std::wstring(place.name()) + L"\\" + kJournalKey);
}

// The journal of the program in progress.
JournalPlace g_journalPlace;
bool g_journalPending = false;
Journal g_journal;

// Writes the journal and flushes it to the disk before the change it guards can happen.
bool WriteJournal(const JournalPlace& place, const Journal& journal) {
    const std::string text = JournalText(journal);
    // Administrators and the system may change the machine's journal; users may read it, so that
    // a standard user's run can tell that one is there.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (place.root == HKEY_LOCAL_MACHINE &&
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;BU)",
                                                              SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    HKEY key = nullptr;
    bool ok = RegCreateKeyExW(place.root, kJournalKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_SET_VALUE | KEY_WOW64_64KEY, descriptor ? &attributes : nullptr, &key,
                              nullptr) == ERROR_SUCCESS;
    if (descriptor) LocalFree(descriptor);
    ok = ok && RegSetValueExW(key, kJournalValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(text.data()),
                              static_cast<DWORD>(text.size())) == ERROR_SUCCESS &&
         RegFlushKey(key) == ERROR_SUCCESS;
    if (key) RegCloseKey(key);
    return ok;
}

// The journal's text; empty when there is none.
std::string ReadJournal(const JournalPlace& place) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(place.root, kJournalKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return {};
    DWORD size = 0, type = 0;
    std::string text;
    if (RegQueryValueExW(key, kJournalValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_BINARY) {
        text.resize(size);
        if (RegQueryValueExW(key, kJournalValue, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
            ERROR_SUCCESS)
            text.clear();
        text.resize(std::min<size_t>(size, text.size()));
    }
    RegCloseKey(key);
    return text;
}

bool JournalLeft(const JournalPlace& place) { return KeyExists(place.root, kJournalKey, KEY_WOW64_64KEY); }

bool RemoveJournal(const JournalPlace& place) {
    const LSTATUS status = RegDeleteKeyExW(place.root, kJournalKey, KEY_WOW64_64KEY, 0);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// The account the runner runs as, as a SID's text; its HKEY_CURRENT_USER is the one a journal holds.
std::wstring CurrentUser() {
    std::wstring text;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return text;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size ? size : 1);
    wchar_t* sid = nullptr;
    if (GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
        text = sid;
        LocalFree(sid);
    }
    CloseHandle(token);
    return text;
}

// An account's name ("PC\\astro") from its SID's text, for a message; the SID itself when unknown.
std::string AccountName(const std::wstring& sidText) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(sidText.c_str(), &sid)) return ToUtf8(sidText);
    wchar_t name[256] = {}, domain[256] = {};
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use{};
    const bool found = LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use);
    LocalFree(sid);
    return found ? ToUtf8(std::wstring(domain) + L"\\" + name) : ToUtf8(sidText);
}

std::string TreeName(const SavedTree& tree) {
    return std::string(RootName(tree.root)) + "\\" + ToUtf8(tree.path) +
           (tree.view == KEY_WOW64_32KEY ? " (32-bit view)" : tree.view ? " (64-bit view)" : "");
}

// What putting back found: the trees a run had left changed, and those it could not put back.
struct PutBackResult {
    std::vector<std::string> putBack;
    std::string problems;  // one line each; empty when all went well
};

// Windows keeps the user's number settings in a cache that SetLocaleInfo updates and a write to
// the registry does not: the ones the tests change are put back through SetLocaleInfo first.
void PutBackNumberSettings(const SavedTree& international) {
    const std::pair<const wchar_t*, LCTYPE> settings[] = {
        {L"sDecimal", LOCALE_SDECIMAL},         {L"sThousand", LOCALE_STHOUSAND}, {L"sMonDecimalSep", LOCALE_SMONDECIMALSEP},
        {L"sMonThousandSep", LOCALE_SMONTHOUSANDSEP}, {L"sGrouping", LOCALE_SGROUPING}};
    if (international.keys.empty()) return;
    for (const auto& [name, type] : settings)
        for (const SavedValue& value : international.keys.front().values) {
            if (value.type != REG_SZ || CompareStringOrdinal(value.name.c_str(), -1, name, -1, TRUE) != CSTR_EQUAL) continue;
            std::wstring saved(reinterpret_cast<const wchar_t*>(value.data.data()), value.data.size() / sizeof(wchar_t));
            saved.resize(wcsnlen(saved.c_str(), saved.size()));
            wchar_t now[64] = {};
            GetLocaleInfoW(LOCALE_USER_DEFAULT, type, now, 64);
            if (saved != now) SetLocaleInfoW(LOCALE_USER_DEFAULT, type, saved.c_str());
        }
}

// Starwright's installation folders under Program Files, in both views, as OperationPath spells them.
std::vector<std::wstring> InstallationFolders() {
    std::vector<std::wstring> folders;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return folders;
    for (const wchar_t* name : {L"ProgramFilesDir", L"ProgramFilesDir (x86)"}) {  // the second not on 32-bit Windows
        wchar_t path[MAX_PATH] = {};
        DWORD size = sizeof path - sizeof(wchar_t), type = 0;
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(path), &size) == ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ) && path[0])
            folders.push_back(OperationPath(std::wstring(path) + L"\\Starwright"));
    }
    RegCloseKey(key);
    return folders;
}

// The file operations a run left for the next restart in Starwright's installation folders: an
// uninstall's own (its uninstaller and folder, which it cannot delete while it runs) or those of an
// installer scenario ended half-way. Left there, the restart would delete or replace what the
// tester installs there meanwhile.
std::vector<Operation> LeftForRestart(const Journal& journal) {
    const std::vector<std::wstring> folders = InstallationFolders();
    const auto inFolders = [&](const std::wstring& spelled) {
        const std::wstring path = OperationPath(spelled);
        return !spelled.empty() && std::any_of(folders.begin(), folders.end(), [&](const std::wstring& folder) {
                   return path == folder || path.rfind(folder + L"\\", 0) == 0;
               });
    };
    std::vector<Operation> left;
    for (const Operation& operation : starwright::test::PendingOperations())
        if (std::find(journal.pending.begin(), journal.pending.end(), operation) == journal.pending.end() &&
            (inFolders(operation.from) || inFolders(operation.to)))
            left.push_back(operation);
    return left;
}

// Puts back what the journal holds, uninstalls a Starwright installed since (unless `uninstall`
// is false) and does at once what the run left for the next restart in its folders.
PutBackResult PutBack(const Journal& journal, const std::wstring& folder, const std::wstring& log,
                      bool uninstall = true) {
    PutBackResult result;
    if (const std::wstring command = QuietUninstallCommand(); uninstall && !journal.installed && !command.empty()) {
        std::string ignored;
        const long code = RunProgram(folder, command, log, ignored, 300000, false);  // it may hand over to a copy
        if ((code == 0 || code == 3010) && QuietUninstallCommand().empty())
            result.putBack.push_back("Starwright, which the run installed: uninstalled");
        else
            result.problems += "could not uninstall Starwright, which the run installed (exit code " +
                               std::to_string(code) + ")\n";
    }
    if (const std::vector<Operation> left = LeftForRestart(journal); !left.empty()) {
        size_t done = 0;
        if (starwright::test::CarryOutPendingOperations(left, &done) && done == left.size())
            result.putBack.push_back(std::to_string(done) + " file operations left for the next restart in Starwright's " +
                                     "folders: done now");
        else
            result.problems += "could not do now " + std::to_string(left.size() - done) +
                               " file operations the run left for the next restart in Starwright's folders: restart "
                               "Windows before installing Starwright again\n";
    }
    bool international = false;
    for (const SavedTree& tree : journal.trees) {
        if (!Differs(tree)) continue;
        result.putBack.push_back(TreeName(tree));
        if (tree.path == L"Control Panel\\International") {
            international = true;
            PutBackNumberSettings(tree);
        }
        if (!PutTreeBack(tree)) result.problems += "could not put back " + TreeName(tree) + "\n";
    }
    // Programs read the number settings once; tell them they have changed back.
    if (international) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"intl"), SMTO_ABORTIFHUNG,
                            2000, &ignored);
    }
    return result;
}

// Puts back the journal of the program in progress, once, from whichever thread gets there first.
// When the console window is closing there is no time for an uninstall: that is left, with the
// journal, to the next run.
PutBackResult PutBackPending(const std::wstring& folder, const std::wstring& log, bool closing = false) {
    EnterCriticalSection(&g_journalLock);
    PutBackResult result;
    if (g_journalPending) {
        result = PutBack(g_journal, folder, log, !closing);
        const bool uninstallLeft = closing && !g_journal.installed && !QuietUninstallCommand().empty();
        if (result.problems.empty() && !uninstallLeft && !RemoveJournal(g_journalPlace))
            result.problems += "could not remove the journal in " + JournalWhere(g_journalPlace) + "\n";
        g_journalPending = false;
    }
    LeaveCriticalSection(&g_journalLock);
    return result;
}

std::wstring g_kit;

BOOL WINAPI OnConsoleControl(DWORD event) {
    InterlockedExchange(&g_stopped, 1);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        return TRUE;  // the program in progress ends with it; the runner puts back and starts no other
    // The window closed (log-off and shut-down reach no program with windows): Windows ends the
    // runner when this returns, or five seconds after the event, so the program in progress is
    // ended and the registry put back here at once; no program starts meanwhile.
    EnterCriticalSection(&g_journalLock);
    if (g_job) TerminateJobObject(g_job, 1);
    try {
        PutBackPending(g_kit, g_kit + L"\\report\\put-back.log", true);
    } catch (...) {
        // The journal stays for the next run.
    }
    LeaveCriticalSection(&g_journalLock);
    return TRUE;
}

bool OnWindows64() {
    BOOL wow64 = FALSE;
    return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}

// The machine's architecture and the emulation a program of it runs under, as Windows 10 1709 and
// later tell (IsWow64Process2); older Windows, from the bitness alone.
USHORT NativeMachine() {
    using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    USHORT process = 0, native = 0;
    auto query = reinterpret_cast<IsWow64Process2Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2")));
    if (!query || !query(GetCurrentProcess(), &process, &native)) return OnWindows64() ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    return native;
}

// Why the 64-bit runs cannot run here (32-bit Windows; Windows 10 on ARM, which runs no x64
// programs: Windows 11 does); empty where they can.
std::string No64BitRuns() {
    if (!OnWindows64()) return "32-bit Windows runs no 64-bit programs";
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (auto get = reinterpret_cast<RtlGetVersionFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion"))))
        get(&version);
    if (NativeMachine() == 0xAA64 && version.dwBuildNumber < 22000)
        return "Windows 10 on ARM runs no x64 programs (Windows 11 on ARM does)";
    return {};
}

std::string Architecture() {
    using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    const auto name = [](USHORT machine) -> std::string {
        switch (machine) {
        case IMAGE_FILE_MACHINE_I386: return "x86";
        case IMAGE_FILE_MACHINE_AMD64: return "x64";
        case 0xAA64: return "ARM64";
        default: return "machine " + std::to_string(machine);
        }
    };
    USHORT process = 0, native = 0;
    auto query = reinterpret_cast<IsWow64Process2Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2")));
    if (!query || !query(GetCurrentProcess(), &process, &native)) return OnWindows64() ? "x64" : "x86";
    return name(native) + (native == IMAGE_FILE_MACHINE_I386 || process == IMAGE_FILE_MACHINE_UNKNOWN
                               ? ""
                               : " (the 32-bit tests run under WOW64" +
                                     std::string(native == 0xAA64 ? ", x86 emulated" : "") + ")");
}

// The runner has an administrator's rights (an elevated prompt, or an administrator's without
// UAC).
bool ElevatedPrompt() {
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation{};
    DWORD length = 0;
    const bool elevated = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                          GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &length) &&
                          elevation.TokenIsElevated;
    if (token) CloseHandle(token);
    return elevated;
}

std::string MachineSummary(bool standardUser) {
    std::ostringstream text;
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    using WineVersionFn = const char*(CDECL*)();
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (auto get = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion"))))
        get(&version);
    DWORD revision = 0, size = sizeof revision;
    RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion", L"UBR",
                 RRF_RT_REG_DWORD | kSubkeyIn64BitView, nullptr, &revision, &size);
    wchar_t release[64] = {};
    size = sizeof release;
    RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion", L"DisplayVersion",
                 RRF_RT_REG_SZ | kSubkeyIn64BitView, nullptr, release, &size);
    text << "Windows: " << version.dwMajorVersion << "." << version.dwMinorVersion << " build "
         << version.dwBuildNumber << "." << revision;
    if (release[0]) text << " (" << ToUtf8(release) << ")";
    if (auto wine = reinterpret_cast<WineVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version"))))
        text << " (Wine " << wine() << ")";
    text << "\nWindows bitness: " << (OnWindows64() ? 64 : 32) << "\n";
    text << "Architecture: " << Architecture() << "\n";
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
    wchar_t decimal[8] = {}, grouping[8] = {};
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8);
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, grouping, 8);
    text << "User locale: " << ToUtf8(locale) << " (decimal separator U+" << std::hex
         << static_cast<unsigned>(decimal[0]) << ", digit grouping U+" << static_cast<unsigned>(grouping[0])
         << std::dec << ")\n";
    HDC screen = GetDC(nullptr);
    text << "Screen: " << GetDeviceCaps(screen, LOGPIXELSX) << " dpi\n";
    ReleaseDC(nullptr, screen);
    text << "Elevated prompt: " << (ElevatedPrompt() ? "yes" : "no")
         << (standardUser ? " (the tests take a standard user's path: --standard-user)" : "") << "\n";
    return text.str();
}

// The first letter, in lower case, of the line the tester types (or a program pipes in); 0 when
// no line came.
char ReadAnswer() {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0, read = 0;
    if (GetConsoleMode(input, &mode)) {
        wchar_t line[64] = {};
        if (!ReadConsoleW(input, line, 63, &read, nullptr) || read == 0) return 0;
        return line[0] < 128 ? static_cast<char>(std::tolower(line[0])) : '?';
    }
    char first = 0, c = 0;
    bool any = false;
    while (ReadFile(input, &c, 1, &read, nullptr) && read == 1 && c != '\n') {
        if (!any) first = c;
        any = true;
    }
    return any || read == 1 ? static_cast<char>(std::tolower(static_cast<unsigned char>(first))) : 0;
}

// A journal that a run ended outright left: what differs from it now is listed, and put back
// when the tester says so (`answer`, or asked), before anything else runs. Nothing is changed
// without that answer: the tester may have installed, registered or set something since. False
// when the run is to stop.
bool PutBackLeft(const JournalPlace& place, char answer, const std::wstring& kit, const std::wstring& report) {
    if (!JournalLeft(place)) return true;
    const std::string where = JournalWhere(place);
    const auto forget = [&](const char* said) {
        if (!RemoveJournal(place)) {
            std::printf("The journal in %s could not be removed; start run-tests.cmd again from an elevated prompt.\n",
                        where.c_str());
            return false;
        }
        if (said) std::printf("%s", said);
        return true;
    };
    const std::string text = ReadJournal(place);
    // A journal is written in one call: a key without one guarded no change yet.
    if (text.empty()) return forget(nullptr);
    Journal left;
    // One this runner cannot read (another version of the kit's, or damaged), or one of another
    // account's, whose own keys are in its HKEY_CURRENT_USER and not in this one, is not put back
    // here, nor thrown away unasked.
    const bool readable = ParseJournal(text, left);
    if (!readable || left.user != CurrentUser()) {
        if (answer == 'n') return forget("The journal an earlier run left is forgotten; what it held is kept as it is.\n");
        if (!readable)
            std::printf("An earlier run of the test kit left a journal in %s that this kit cannot read (another\n"
                        "version of the kit wrote it, or it is damaged): nothing was put back. Run the kit that\n"
                        "wrote it, or start run-tests.cmd with --keep-left to forget that run.\n",
                        where.c_str());
        else
            std::printf("An earlier run of the test kit, by the account %s, was ended before it could put back\n"
                        "what its tests may have changed. Only that account can put it back: sign in as it and\n"
                        "start run-tests.cmd again. To forget that run instead, start run-tests.cmd with --keep-left.\n",
                        AccountName(left.user).c_str());
        return false;
    }
    // Only the trees this runner journals are put back, whatever else the journal names; from a
    // user's own journal only their own keys, and nothing is uninstalled.
    const std::vector<SavedTree> known = ReadTouchedKeys();
    std::erase_if(left.trees, [&](const SavedTree& tree) {
        return (place.root != HKEY_LOCAL_MACHINE && tree.root != HKEY_CURRENT_USER) ||
               std::none_of(known.begin(), known.end(), [&](const SavedTree& k) {
                   return k.root == tree.root && k.view == tree.view && k.path == tree.path;
               });
    });
    if (place.root != HKEY_LOCAL_MACHINE) left.installed = true;
    std::vector<std::string> differing;
    for (const SavedTree& tree : left.trees)
        if (Differs(tree)) differing.push_back(TreeName(tree));
    const bool uninstall = !left.installed && !QuietUninstallCommand().empty();
    if (const size_t operations = LeftForRestart(left).size(); operations > 0)
        differing.push_back(std::to_string(operations) + " file operations left for the next restart in Starwright's " +
                            "folders, which putting back does now");
    if (differing.empty() && !uninstall) return forget(nullptr);
    std::printf("An earlier run of the test kit was ended before it could put back what its tests may have\n"
                "changed. These differ from what was there when that run started:\n");
    for (const std::string& what : differing) std::printf("  %s\n", what.c_str());
    if (uninstall) std::printf("  Starwright is installed, and was not then: putting back uninstalls it\n");
    std::printf("If you have changed none of these yourself since, put them back.\n");
    if (!answer) {
        std::printf("Put them back? Type y to put them back, n to keep them as they are now and forget that run,\n"
                    "anything else to stop here: ");
        std::fflush(stdout);
        answer = ReadAnswer();
        std::printf("\n");
    }
    if (answer == 'n') return forget("Kept as they are.\n");
    if (answer != 'y') {
        std::printf("Stopped: nothing was changed, and the journal stays in %s for the next run.\n", where.c_str());
        return false;
    }
    const PutBackResult put = PutBack(left, kit, report + L"\\put-back.log");
    for (const std::string& what : put.putBack) std::printf("  put back %s\n", what.c_str());
    if (!put.problems.empty()) {
        std::printf("%sThe journal stays in %s; start run-tests.cmd again%s.\n", put.problems.c_str(), where.c_str(),
                    place.root == HKEY_LOCAL_MACHINE ? "" : " from an elevated prompt");
        return false;
    }
    return forget("Put back.\n");
}

// GoogleTest opens its XML file by a narrow path: the programs write it into a folder with a plain
// name under %ProgramData%, and the runner copies it into the report, which may be anywhere. The
// folder is made anew, for an elevated run for administrators only: one that a user had made, or
// pointed elsewhere, would let them choose where an administrator's programs write and delete.
// Empty when it could not be made (GetLastError says why).
std::wstring MakeResultsFolder(bool elevated) {
    PWSTR data = nullptr;
    if (SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &data) != S_OK) return {};
    const std::wstring folder = std::wstring(data) + L"\\Starwright test kit";
    CoTaskMemFree(data);
    // The folder itself, not what a link there points to, held open without sharing its deletion
    // (so that nobody can swap it for a link meanwhile) while its last results file goes.
    HANDLE held = CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (held != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION information{};
        if (GetFileInformationByHandle(held, &information) &&
            !(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            DeleteFileW((folder + L"\\results.xml").c_str());
        CloseHandle(held);
        RemoveDirectoryW(folder.c_str());  // a link: the link alone goes
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (elevated && !ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
                                                                         SDDL_REVISION_1, &descriptor, nullptr))
        return {};
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const bool made = CreateDirectoryW(folder.c_str(), descriptor ? &attributes : nullptr);
    const DWORD error = GetLastError();
    if (descriptor) LocalFree(descriptor);
    SetLastError(error);  // the caller's message names it
    return made ? folder : std::wstring();
}

struct Options {
    bool standardUser = false;
    char leftJournal = 0;  // the answer to the question about a journal an ended run left, when given
    DWORD limitSeconds = 1800;
    std::vector<std::string> only;  // the runs to run; empty: all
};

// One kit at a time: two would read and put back each other's changes.
HANDLE TakeKitLock() {
    HANDLE lock = CreateMutexW(nullptr, FALSE, L"Global\\StarwrightTestKit");
    // Refused: an elevated kit holds it.
    if (!lock && GetLastError() == ERROR_ACCESS_DENIED) return nullptr;
    if (!lock) lock = CreateMutexW(nullptr, FALSE, L"StarwrightTestKit");
    if (!lock) return nullptr;
    const DWORD waited = WaitForSingleObject(lock, 0);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return lock;
    CloseHandle(lock);
    return nullptr;
}

int Main(const std::wstring& kit, const Options& options) {
    HANDLE lock = TakeKitLock();
    if (!lock) {
        std::printf("Another run of the test kit is in progress on this PC: two at once would undo each other's\n"
                    "changes. Let it end (or close its window), then start run-tests.cmd again.\n");
        return 3;
    }
    InitializeCriticalSection(&g_journalLock);
    g_kit = kit;
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
    const std::wstring report = kit + L"\\report";
    CreateDirectoryW(report.c_str(), nullptr);
    // A run ended outright left its journal: that comes first.
    // The machine's journal is for a runner that may write the machine's registry: an elevated
    // prompt on Windows; under Wine 10, whose token says "not elevated" and writes it all the same,
    // any prompt. Asked of the registry itself, not of the token.
    HKEY software = nullptr;
    const bool elevated = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_CREATE_SUB_KEY | KEY_WOW64_64KEY,
                                        &software) == ERROR_SUCCESS;
    if (software) RegCloseKey(software);
    g_journalPlace.root = elevated ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    if (!elevated && JournalLeft({HKEY_LOCAL_MACHINE})) {
        std::printf("A run of the test kit from an elevated prompt was ended before it could put back what its\n"
                    "tests may have changed. Start run-tests.cmd from an elevated prompt first: it puts that back.\n");
        return 3;
    }
    if ((elevated && !PutBackLeft({HKEY_LOCAL_MACHINE}, options.leftJournal, kit, report)) ||
        !PutBackLeft({HKEY_CURRENT_USER}, options.leftJournal, kit, report))
        return 3;
    const std::wstring resultsFolder = MakeResultsFolder(elevated);
    if (resultsFolder.empty()) {
        std::printf("The folder the test programs write their results into, \"Starwright test kit\" in %%ProgramData%%,\n"
                    "could not be made anew (error %lu). Delete it (from an elevated prompt if an elevated run\n"
                    "made it), then start run-tests.cmd again.\n",
                    GetLastError());
        return 3;
    }

    // The test programs skip a run for another language than the machine's (test_main.cpp).
    SetEnvironmentVariableW(L"STARWRIGHT_TEST_KIT", L"1");
    if (options.standardUser) SetEnvironmentVariableW(L"STARWRIGHT_TEST_STANDARD_USER", L"1");
    SetProcessDPIAware();  // the screen's own dpi, not the 96 a program that is not aware is told
    g_job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (g_job) SetInformationJobObject(g_job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    std::ostringstream summary;
    summary << MachineSummary(options.standardUser) << "\n";
    std::printf("%s\n", summary.str().c_str());
    std::fflush(stdout);

    int passed = 0, failed = 0, skipped = 0;
    const std::string no64 = No64BitRuns();
    for (const wchar_t* bits : {L"32-bit", L"64-bit"}) {
        const std::wstring folder = kit + L"\\" + bits;
        for (const Run& run : ReadRuns(folder + L"\\runs.txt")) {
            if (g_stopped) break;
            if (!options.only.empty() && std::find(options.only.begin(), options.only.end(), run.name) == options.only.end())
                continue;
            const std::string label = ToUtf8(bits) + " " + run.name;
            if (bits[0] == L'6' && !no64.empty()) {
                summary << "not run " << label << ": " << no64 << "\n";
                std::printf("not run %s: %s\n", label.c_str(), no64.c_str());
                continue;
            }
            const std::wstring base = report + L"\\" + bits + L"-" + ToWide(run.name);
            const std::wstring xml = base + L".xml";
            DeleteFileW(xml.c_str());
            std::printf("running %s\n", label.c_str());
            std::fflush(stdout);
            EnterCriticalSection(&g_journalLock);
            g_journal = Journal{CurrentUser(), !QuietUninstallCommand().empty(), ReadTouchedKeys(),
                                starwright::test::PendingOperations()};
            std::string why = "its journal could not be written to " + JournalWhere(g_journalPlace);
            const auto unread = std::find_if(g_journal.trees.begin(), g_journal.trees.end(),
                                             [](const SavedTree& tree) { return !tree.readable; });
            if (unread != g_journal.trees.end()) {
                why = "the runner could not read all of " + TreeName(*unread) + " to put it back afterwards";
                g_journalPending = false;
            } else {
                g_journalPending = WriteJournal(g_journalPlace, g_journal);
            }
            LeaveCriticalSection(&g_journalLock);
            const std::wstring written = resultsFolder + L"\\results.xml";
            DeleteFileW(written.c_str());
            const long code = !g_journalPending ? -1
                              : g_stopped       ? -3
                                                : RunProgram(folder,
                                                             L"\"" + folder + L"\\" + ToWide(run.program) + L"\" " +
                                                                 ToWide(run.arguments) + L" \"--gtest_output=xml:" + written +
                                                                 L"\"",
                                                             base + L".log", why, options.limitSeconds * 1000);
            // Copied, not moved: the copy takes the report folder's access rules, the tester's.
            const bool wroteResults = CopyFileW(written.c_str(), xml.c_str(), FALSE) && DeleteFileW(written.c_str());
            const PutBackResult put = PutBackPending(folder, base + L"-put-back.log");
            const std::string& problems = put.problems;
            Result result = ReadResult(xml);
            // A program that ended early (a crash, Ctrl+C, its time limit) or could not start wrote
            // no results for the tests it did not finish: the run counts as one failure more.
            if (code == 0 && !wroteResults) {
                ++result.failed;
                result.notes.push_back("failed  the program ended with 0 but wrote no results");
            } else if (code != 0 && code != -3 && result.failed == 0) {
                ++result.failed;
                result.notes.push_back(code == -1   ? "failed  the program did not start: " + why
                                       : code == -2 ? "failed  the program ran past its time limit of " +
                                                          std::to_string(options.limitSeconds) + " s and was ended"
                                                    : "failed  the program ended with code " + std::to_string(code) +
                                                          (g_stopped ? " (stopped with Ctrl+C)" : ""));
            }
            if (!problems.empty()) {
                ++result.failed;
                result.notes.push_back("failed  " + problems.substr(0, problems.size() - 1) + "; the journal stays in " +
                                       JournalWhere(g_journalPlace) + " for the next run");
                // The next program's journal would be written over this one, which still holds
                // what was there before: no program starts after a put-back that failed.
                InterlockedExchange(&g_stopped, 1);
            }
            // The tests put back what they change; what they left is named (the runner put it back).
            for (const std::string& what : put.putBack) result.notes.push_back("put back " + what + ", which the run left changed");
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
        const char* stopped = JournalLeft(g_journalPlace)
                                  ? "stopped: what a run left could not be put back (see above); the runs after it did not run\n"
                                  : "stopped with Ctrl+C: the runs after it did not run\n";
        summary << stopped;
        std::printf("%s", stopped);
    }
    RemoveDirectoryW(resultsFolder.c_str());
    char last[128];
    std::snprintf(last, sizeof last, "%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    summary << last;
    WriteWhole(report + L"\\summary.txt", summary.str());
    std::printf("report: %s\\summary.txt\n%s", ToUtf8(report).c_str(), last);
    return failed == 0 && !g_stopped ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    bool usage = argc < 2;
    for (int i = 2; i < argc && !usage; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--standard-user") options.standardUser = true;
        else if (argument == L"--put-back-left") options.leftJournal = 'y';
        else if (argument == L"--keep-left") options.leftJournal = 'n';
        else if (argument == L"--time-limit" && i + 1 < argc) options.limitSeconds = static_cast<DWORD>(_wtoi(argv[++i]));
        else if (!argument.empty() && argument[0] != L'-') options.only.push_back(ToUtf8(argument));
        else usage = true;
    }
    if (usage || options.limitSeconds == 0) {
        std::fprintf(stderr, "usage: run_tests.exe KIT_FOLDER [--standard-user] [--time-limit SECONDS]\n"
                             "                     [--put-back-left | --keep-left] [RUN...]\n");
        return 2;
    }
    try {
        // A full path without a trailing "\" (run-tests.cmd passes "%~dp0.").
        wchar_t full[MAX_PATH * 4] = {};
        GetFullPathNameW(argv[1], MAX_PATH * 4, full, nullptr);
        std::wstring kit = full;
        if (kit.size() > 3 && kit.back() == L'\\') kit.pop_back();
        return Main(kit, options);
    } catch (...) {
        std::fprintf(stderr, "run_tests: an unexpected failure\n");
        return 2;
    }
}
