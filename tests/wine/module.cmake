# Starwright.dll's life in a process: registering and unregistering in both registry views (and
# undoing a failed registration), the windows it keeps per thread, and unloading through COM.
if(TARGET Starwright AND TARGET starwright_sim_com AND TARGET starwright_win32)
  add_executable(starwright_module_tests
    $<TARGET_OBJECTS:starwright_wine_test_main>
    ${CMAKE_CURRENT_LIST_DIR}/plugin_register_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/plugin_unload_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/plugin_accessible_object_test.cpp
    ${CMAKE_SOURCE_DIR}/plugin/registry_tree.cpp
    ${CMAKE_CURRENT_LIST_DIR}/host_library.rc
  )
  target_link_libraries(starwright_module_tests PRIVATE
    starwright_sim_com starwright_sim starwright_win32 gtest ole32 oleaut32 oleacc uuid advapi32 user32)
  # Beside the DLL and the stand-in host library, which the tests load from their own folder.
  set_target_properties(starwright_module_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/plugin)
  add_dependencies(starwright_module_tests Starwright)
  add_test(NAME plugin_module_life COMMAND starwright_module_tests)
  starwright_kit_run(plugin_module_life starwright_module_tests)
  set_tests_properties(plugin_module_life PROPERTIES TIMEOUT 120)
endif()
