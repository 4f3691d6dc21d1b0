# Cross build of the Windows product: 32-bit mingw-w64 (build/win32).
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
