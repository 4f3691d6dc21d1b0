# The stand-in host of `make demo`: its window (menus, images and headers, the call log, the
# fault switches, the chart's readings) and how it registers the host's type library.
if(TARGET stand_in_host)
  add_executable(stand_in_host_test $<TARGET_OBJECTS:starwright_wine_test_main> ${CMAKE_CURRENT_LIST_DIR}/stand_in_host_test.cpp
    ${CMAKE_SOURCE_DIR}/plugin/registry_tree.cpp)
  target_link_libraries(stand_in_host_test PRIVATE starwright_stand_in gtest)
  # Beside the stand-in host's copy of the host library stub, which the tests register.
  set_target_properties(stand_in_host_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/demo)
  add_dependencies(stand_in_host_test stand_in_host)
  add_test(NAME stand_in_host COMMAND stand_in_host_test)
  starwright_kit_run(stand_in_host stand_in_host_test)
  set_tests_properties(stand_in_host PROPERTIES TIMEOUT 120)
endif()
