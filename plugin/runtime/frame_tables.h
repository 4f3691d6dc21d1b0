#pragma once
// The module's unwind tables and its own unwinder, in the 32-bit build (see frame_tables.cpp).

namespace starwright::plugin::runtime {

// When the module loads, before any static constructor: from then on exceptions thrown inside
// the module unwind, whatever other copy of the unwinder the process holds.
void RegisterFrameTables() noexcept;

// At DLL_PROCESS_DETACH through FreeLibrary, after the static destructors, the last of the
// module's code that may throw.
void ForgetFrameTables() noexcept;

}  // namespace starwright::plugin::runtime
