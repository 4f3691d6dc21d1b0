# The part of the mingw-w64 cross build that both bitnesses share; mingw-i686.cmake (the
# product) and mingw-x86_64.cmake (for 64-bit hosts) name the processor and include this.
# POSIX threads (GoogleTest needs them); programs run under Wine through the emulator script,
# which picks the 32- or 64-bit Wine loader from the program's own header.
set(CMAKE_SYSTEM_NAME Windows)
set(starwright_mingw ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${starwright_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${starwright_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${starwright_mingw}-windres)
set(STARWRIGHT_WIDL ${starwright_mingw}-widl)
set(STARWRIGHT_OBJCOPY ${starwright_mingw}-objcopy)
set(STARWRIGHT_OBJDUMP ${starwright_mingw}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${starwright_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
