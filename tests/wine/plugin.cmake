# Starwright.dll: its type library, class factory and object, registration, exports and imports.
if(TARGET Starwright)
  add_executable(starwright_plugin_tests
    $<TARGET_OBJECTS:starwright_wine_test_main>
    ${CMAKE_CURRENT_LIST_DIR}/plugin_typelib_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/plugin_object_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/host_library.rc
  )
  target_link_libraries(starwright_plugin_tests PRIVATE gtest ole32 oleaut32 uuid version)
  # The version the resource should hold, as plugin/ wrote it from VERSION.
  target_include_directories(starwright_plugin_tests PRIVATE ${CMAKE_BINARY_DIR}/plugin)
  # Beside the DLL and the stand-in host library, which the tests load from their own folder.
  set_target_properties(starwright_plugin_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/plugin)
  add_dependencies(starwright_plugin_tests Starwright)
  add_test(NAME plugin_object COMMAND starwright_plugin_tests)
  starwright_kit_run(plugin_object starwright_plugin_tests)
  starwright_kit_file($<TARGET_FILE:Starwright>)
  starwright_kit_file(${STARWRIGHT_HOST_STUB})
  set_tests_properties(plugin_object PROPERTIES TIMEOUT 120)

  add_test(NAME plugin_registration
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/plugin_registration.sh $<TARGET_FILE:Starwright>
            ${CMAKE_CURRENT_LIST_DIR}/plugin_name.vbs)
  add_test(NAME plugin_module_files
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/plugin_module_files.sh $<TARGET_FILE:Starwright> ${STARWRIGHT_OBJDUMP})
endif()
