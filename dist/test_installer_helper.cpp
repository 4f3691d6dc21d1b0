// What the installer's tests need from Windows that Wine's own tools cannot do (built by
// dist/test_installer.sh for 32-bit Windows):
//
//   test_installer_helper image FILE...   holds each file as a loaded module does: an image
//                                         section on it, the file handle closed. Others may
//                                         read or rename the file; nobody may write or delete it.
//   test_installer_helper open FILE...    holds each file open for reading, sharing only reading:
//                                         nobody may write, rename or delete it.
//   test_installer_helper run             runs the command line in STARWRIGHT_COMMAND_LINE as a
//                                         deployment tool does (no argument quoting in between),
//                                         waits for it and prints its exit code in full (a Unix
//                                         exit status keeps only the low 8 bits: 3010 is 194).
//   test_installer_helper delete-at-restart FILE
//                                         asks Windows to delete FILE at the next restart.
//
// A holder prints "holding" once every file is held, then holds them until its standard input
// ends, so it lets go when the test says so or when the test itself ends.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <vector>

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

UniqueHandle Own(HANDLE handle) {
    return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

int Fail(const wchar_t* what, const wchar_t* file) {
    std::fwprintf(stderr, L"test_installer_helper: %ls %ls: error %lu\n", what, file, GetLastError());
    return 1;
}

// The loader opens a module sharing reading and deleting (so it can be renamed), makes an image
// section of it and closes the file: the section alone keeps it from being written or deleted.
UniqueHandle HoldAsImage(const wchar_t* file) {
    UniqueHandle opened = Own(CreateFileW(file, GENERIC_READ | GENERIC_EXECUTE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!opened) return nullptr;
    return Own(CreateFileMappingW(opened.get(), nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr));
}

UniqueHandle HoldOpen(const wchar_t* file) {
    return Own(CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
}

int Hold(bool asImage, int count, wchar_t** files) {
    std::vector<UniqueHandle> held;
    for (int i = 0; i < count; ++i) {
        held.push_back(asImage ? HoldAsImage(files[i]) : HoldOpen(files[i]));
        if (!held.back()) return Fail(L"cannot hold", files[i]);
    }
    std::printf("holding\n");
    std::fflush(stdout);
    char buffer[256];
    DWORD read = 0;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    }
    return 0;
}

int Run() {
    std::vector<wchar_t> commandLine(32768);
    DWORD length = GetEnvironmentVariableW(L"STARWRIGHT_COMMAND_LINE", commandLine.data(),
                                           static_cast<DWORD>(commandLine.size()));
    if (length == 0 || length >= commandLine.size()) return Fail(L"no command line in", L"STARWRIGHT_COMMAND_LINE");
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return Fail(L"cannot start", commandLine.data());
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.hProcess, &exitCode)) return Fail(L"no exit code from", commandLine.data());
    std::printf("%lu\n", exitCode);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && std::wcscmp(argv[1], L"image") == 0) return Hold(true, argc - 2, argv + 2);
    if (argc >= 3 && std::wcscmp(argv[1], L"open") == 0) return Hold(false, argc - 2, argv + 2);
    if (argc == 2 && std::wcscmp(argv[1], L"run") == 0) return Run();
    if (argc == 3 && std::wcscmp(argv[1], L"delete-at-restart") == 0)
        return MoveFileExW(argv[2], nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? 0 : Fail(L"cannot schedule", argv[2]);
    std::fwprintf(stderr, L"usage: test_installer_helper image|open FILE... | run | delete-at-restart FILE\n");
    return 2;
}
