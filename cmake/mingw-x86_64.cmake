# Cross build of the same plug-in for 64-bit hosts: 64-bit mingw-w64 (build/win64).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
