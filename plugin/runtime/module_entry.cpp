// The module's entry point (the linker's -e, plugin/CMakeLists.txt): the C runtime's own, which
// runs the static constructors and destructors and calls DllMain, and after it what the
// statically linked C++ runtime would otherwise keep when the module is freed. A host may load
// and free the plug-in many times in one night (CoFreeUnusedLibraries); each time must give
// back everything it took.

#include <windows.h>

#include "plugin/runtime/posix_threads.h"

#ifndef _WIN64
#include "plugin/runtime/frame_tables.h"
#endif

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
    // been stopped anywhere. The static destructors have run: nothing throws any more, and once
    // the unwinder has forgotten the module's tables, nothing locks.
    if (reason == DLL_PROCESS_DETACH && !reserved) {
#ifndef _WIN64
        starwright::plugin::runtime::ForgetFrameTables();
#endif
        __gnu_cxx::__freeres();
        starwright::plugin::runtime::ReleaseThreadState();
    }
    return result;
}
