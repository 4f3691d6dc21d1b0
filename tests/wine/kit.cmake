# The test kit's runner (tests/wine/kit/), which make dist packs with the test programs of both
# builds; a 32-bit program, so that it runs on 32- and 64-bit Windows alike.
if(STARWRIGHT_WINDOWS_BITS EQUAL 32)
  add_executable(run_tests kit/run_tests.cpp ${CMAKE_SOURCE_DIR}/plugin/registry_tree.cpp
    ${CMAKE_SOURCE_DIR}/platform/text_win.cpp ${CMAKE_CURRENT_LIST_DIR}/as_invoker.rc)
  target_link_libraries(run_tests PRIVATE ole32 advapi32 user32 gdi32 shell32)
  target_link_options(run_tests PRIVATE -municode)
endif()
