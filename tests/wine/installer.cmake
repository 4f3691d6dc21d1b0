# The installer's scenarios (installer_test.cpp), run against make dist's installer by
# dist/test_installer.sh under Wine and by the test kit on Windows, and the host of each bitness
# they hold the plug-in with (dll_holder-32.exe, dll_holder-64.exe). dist/build.sh puts both
# hosts and the installers beside the program, in the kit's 32-bit/installer folder.
add_executable(dll_holder ${CMAKE_CURRENT_LIST_DIR}/dll_holder.cpp)
set_target_properties(dll_holder PROPERTIES OUTPUT_NAME dll_holder-${STARWRIGHT_WINDOWS_BITS})
target_link_options(dll_holder PRIVATE -municode)
if(STARWRIGHT_WINDOWS_BITS EQUAL 32)
  add_executable(starwright_installer_tests
    $<TARGET_OBJECTS:starwright_wine_test_main>
    ${CMAKE_CURRENT_LIST_DIR}/installer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/as_invoker.rc
    ${CMAKE_SOURCE_DIR}/plugin/registry_tree.cpp
    ${CMAKE_SOURCE_DIR}/platform/text_win.cpp)
  target_link_libraries(starwright_installer_tests PRIVATE gtest ole32 uuid shell32 shlwapi advapi32)
  add_dependencies(starwright_installer_tests dll_holder)
  starwright_kit_run(installer starwright_installer_tests)
endif()
