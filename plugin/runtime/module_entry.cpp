// The module's entry point (the linker's -e, plugin/CMakeLists.txt): the C runtime's own, which
// runs the static constructors and destructors and calls DllMain, and after it what the
// statically linked C++ runtime would otherwise keep when the module is freed. A host may load
// and free the plug-in many times in one night (CoFreeUnusedLibraries); each time must give
// back everything it took.

#include <windows.h>

#include "plugin/runtime/posix_threads.h"

extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE module, DWORD reason, LPVOID reserved);

namespace __gnu_cxx {
// The C++ runtime's emergency pool for exceptions thrown when memory runs out (about 19 KB,
// 73 KB in 64 bits), taken when the module loads and otherwise never freed.
void __freeres() noexcept;
}  // namespace __gnu_cxx

extern "C" BOOL WINAPI ModuleEntry(HANDLE module, DWORD reason, LPVOID reserved) {
    const BOOL result = DllMainCRTStartup(module, reason, reserved);
    if (reason == DLL_THREAD_DETACH) starwright::plugin::runtime::EndThread();
    // Freed rather than left to an ending process (reserved set), whose other threads may have
    // been stopped anywhere. The static destructors have run: nothing locks or throws any more.
    if (reason == DLL_PROCESS_DETACH && !reserved) {
        __gnu_cxx::__freeres();
        starwright::plugin::runtime::ReleaseThreadState();
    }
    return result;
}
