// The module's unwind tables, registered with its own statically linked unwinder (32-bit build
// only: there C++ exceptions unwind through DWARF tables, .eh_frame, which the unwinder knows
// only once they are registered with it; the 64-bit build unwinds through the tables Windows
// keeps for every loaded module, .pdata, and registers nothing).
//
// GCC's start file for this, crtbegin.o, first looks for libgcc_s_dw2-1.dll in the process and,
// when some other module has it loaded (anything built with mingw-w64 and a shared libgcc: a
// camera driver, another plug-in), registers the tables with that copy instead. The module's
// own unwinder then knows none, and the first exception thrown inside the module (every failed
// host call is one) ends in terminate(), and the host with it. The module therefore links
// without crtbegin.o (dll_startfiles.specs) and registers here, with its own unwinder only,
// whatever the process has loaded. GCC's end file, crtend.o, is still linked last: its
// constructor calls __gcc_register_frame, and its four zero bytes end the tables.

#include <windows.h>

#include <cstdint>

#include "plugin/runtime/frame_tables.h"

extern "C" {
// The statically linked unwinder's registry (libgcc's unwind-dw2-fde.c).
void __register_frame_info(const void* tables, void* bookkeeping);
void* __deregister_frame_info(const void* tables);
// The linker's symbol for the module's own image.
extern IMAGE_DOS_HEADER __ImageBase;
}

// A label in this file's own part of .eh_frame, which the linker joins with every other
// object's into the module's one .eh_frame section: the section holding the label is the
// module's tables. Its name in the image's section table cannot be used, being longer than
// eight characters and so kept in a string table that is not loaded.
asm(".section .eh_frame,\"dr\"\n"
    "starwright_frame_tables_member:\n"
    ".text\n");
extern "C" const char kFrameTablesMember[] asm("starwright_frame_tables_member");

namespace starwright::plugin::runtime {
namespace {

// The unwinder's bookkeeping for one registration, its struct object: six pointers in GCC 12,
// as much as crtbegin.o reserves. libgcc writes that much here, so the build stops when the
// toolchain's own start file reserves another size (measured by unwinder_object_size.sh).
void* g_bookkeeping[6];
static_assert(sizeof g_bookkeeping == STARWRIGHT_UNWINDER_OBJECT_BYTES,
              "the unwinder's bookkeeping is not the size the toolchain's crtbegin.o reserves for it");
const void* g_registered = nullptr;

// The start of the image section that holds the label: the first of the tables, which run on
// to crtend.o's terminator.
const void* FrameTables() {
    const auto* image = reinterpret_cast<const BYTE*>(&__ImageBase);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + __ImageBase.e_lfanew);
    const uintptr_t member = reinterpret_cast<const BYTE*>(kFrameTablesMember) - image;
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
    for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section)
        if (member >= section->VirtualAddress && member < section->VirtualAddress + section->Misc.VirtualSize)
            return image + section->VirtualAddress;
    return nullptr;
}

}  // namespace

void RegisterFrameTables() noexcept {
    if (g_registered) return;
    const void* tables = FrameTables();
    if (!tables) return;
    __register_frame_info(tables, g_bookkeeping);
    g_registered = tables;
}

void ForgetFrameTables() noexcept {
    if (!g_registered) return;
    __deregister_frame_info(g_registered);
    g_registered = nullptr;
}

}  // namespace starwright::plugin::runtime

// Called by crtend.o's constructor, the first to run when the module loads.
extern "C" void __gcc_register_frame() { starwright::plugin::runtime::RegisterFrameTables(); }
