#pragma once
// The module's own POSIX thread functions for the statically linked C++ runtime (see
// posix_threads.cpp): what they keep for a thread goes when the thread ends, and all they made
// goes when the module is freed.

namespace starwright::plugin::runtime {

// At DLL_THREAD_DETACH: runs the ending thread's key destructors and frees its values.
void EndThread() noexcept;

// At DLL_PROCESS_DETACH through FreeLibrary, after the runtime's own static destructors, which
// still lock: every thread's values, the locks, the TLS slot.
void ReleaseThreadState() noexcept;

}  // namespace starwright::plugin::runtime
