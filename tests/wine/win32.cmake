# The native tool window: frmMain on the Win32 toolkit over the simulated host, driven
# through its real controls.
if(TARGET starwright_win32)
  file(GLOB starwright_win32_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/win32_*_test.cpp)
  add_executable(win32_window_test ${starwright_win32_tests})
  target_link_libraries(win32_window_test PRIVATE starwright_win32 starwright_sim starwright_platform oleacc oleaut32 gtest gtest_main)
  add_test(NAME win32_window COMMAND win32_window_test)
endif()
