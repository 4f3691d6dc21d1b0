# The native tool window: frmMain on the Win32 toolkit over the simulated host, driven
# through its real controls, and what a screen reader reads of it.
file(GLOB starwright_win32_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/win32_*_test.cpp)
list(APPEND starwright_windows_test_sources ${starwright_win32_tests})
list(APPEND starwright_windows_test_libraries starwright_win32 starwright_sim starwright_platform oleacc oleaut32)
starwright_windows_test(win32_window "Win32WindowTest.*:Win32ToolkitTest.*:Win32ToolkitThreadsTest.*:Win32AccessibilityTest.*")
