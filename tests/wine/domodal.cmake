# A C++ stand-in host that loads Starwright.dll, serves the simulated host's classes, calls
# DoModal and drives the real window from inside its modal loop.
if(TARGET Starwright AND TARGET starwright_sim_com AND TARGET starwright_win32)
  add_executable(domodal_test ${CMAKE_CURRENT_LIST_DIR}/domodal_test.cpp ${CMAKE_CURRENT_LIST_DIR}/host_library.rc)
  target_link_libraries(domodal_test PRIVATE starwright_sim_com starwright_sim starwright_win32 gtest gtest_main ole32 oleaut32 uuid user32)
  # Beside the DLL, which the test loads from its own folder.
  set_target_properties(domodal_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/plugin)
  add_dependencies(domodal_test Starwright)
  add_test(NAME domodal COMMAND domodal_test)
  starwright_kit_run(domodal domodal_test)
  set_tests_properties(domodal PROPERTIES TIMEOUT 120)
endif()
