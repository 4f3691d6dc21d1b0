// A host, as the installer's tests need one: a process of the bitness it is built for that has
// loaded DLLs through the loader, as MaxIm DL loads its plug-in, until it is told to let go.
//
//   dll_holder HELD RELEASE FILE...
//
// HELD and RELEASE are inherited event handles, in decimal: HELD is set once every FILE is
// loaded, and the holder ends (unloading them) when RELEASE is set. A FILE that cannot be loaded
// ends it at once with its error on stderr, HELD unset.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fwprintf(stderr, L"usage: dll_holder HELD RELEASE FILE...\n");
        return 2;
    }
    const auto handle = [](const wchar_t* text) {
        return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(std::wcstoull(text, nullptr, 10)));
    };
    for (int i = 3; i < argc; ++i) {
        if (!LoadLibraryW(argv[i])) {
            std::fwprintf(stderr, L"dll_holder: cannot load %ls: error %lu\n", argv[i], GetLastError());
            return 1;
        }
    }
    SetEvent(handle(argv[1]));
    return WaitForSingleObject(handle(argv[2]), INFINITE) == WAIT_OBJECT_0 ? 0 : 1;
}
