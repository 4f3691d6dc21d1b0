# The statically linked C++ runtime inside Starwright.dll (plugin/runtime/): its exceptions in a
# host that has the compiler's shared runtime loaded already, and what it takes and gives back,
# in a DLL of its own.
if(TARGET Starwright AND TARGET starwright_sim_com AND TARGET starwright_win32)
  # The toolchain's shared libgcc and the thread library it imports, copied beside the test,
  # which loads them before the plug-in.
  if(STARWRIGHT_WINDOWS_BITS EQUAL 32)
    set(starwright_shared_libgcc libgcc_s_dw2-1.dll)
  else()
    set(starwright_shared_libgcc libgcc_s_seh-1.dll)
  endif()
  set(starwright_shared_runtime_dir ${CMAKE_BINARY_DIR}/plugin/shared-runtime)
  set(starwright_shared_runtime)
  foreach(dll IN ITEMS ${starwright_shared_libgcc} libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE source OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${source}")
      message(FATAL_ERROR "The toolchain has no ${dll}, which a Windows test loads")
    endif()
    add_custom_command(OUTPUT ${starwright_shared_runtime_dir}/${dll}
      COMMAND ${CMAKE_COMMAND} -E copy ${source} ${starwright_shared_runtime_dir}/${dll}
      DEPENDS ${source}
      VERBATIM)
    list(APPEND starwright_shared_runtime ${starwright_shared_runtime_dir}/${dll})
  endforeach()
  add_custom_target(starwright_shared_runtime DEPENDS ${starwright_shared_runtime})

  add_executable(plugin_beside_shared_libgcc_test
    $<TARGET_OBJECTS:starwright_wine_test_main>
    ${CMAKE_CURRENT_LIST_DIR}/plugin_beside_shared_libgcc_test.cpp ${CMAKE_CURRENT_LIST_DIR}/host_library.rc)
  target_link_libraries(plugin_beside_shared_libgcc_test PRIVATE
    starwright_sim_com starwright_sim starwright_win32 starwright_platform_win gtest ole32 oleaut32 uuid user32)
  # Beside the DLL and the stand-in host library, which the test loads from its own folder.
  set_target_properties(plugin_beside_shared_libgcc_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/plugin)
  add_dependencies(plugin_beside_shared_libgcc_test Starwright starwright_shared_runtime)
  add_test(NAME plugin_beside_shared_libgcc COMMAND plugin_beside_shared_libgcc_test)
  starwright_kit_run(plugin_beside_shared_libgcc plugin_beside_shared_libgcc_test)
  foreach(dll IN LISTS starwright_shared_runtime)
    starwright_kit_file(${dll} shared-runtime)
  endforeach()
  set_tests_properties(plugin_beside_shared_libgcc PROPERTIES TIMEOUT 120)
endif()

# A DLL of the runtime's busiest paths, linked with plugin/runtime/ as Starwright.dll is, and
# the test that loads it, drives it from many threads and unloads it.
if(TARGET starwright_runtime)
  add_library(starwright_runtime_test_dll SHARED ${CMAKE_CURRENT_LIST_DIR}/runtime_test_dll.cpp)
  set_target_properties(starwright_runtime_test_dll PROPERTIES OUTPUT_NAME starwright_runtime_test PREFIX "")
  starwright_link_runtime(starwright_runtime_test_dll)
  add_executable(starwright_runtime_tests $<TARGET_OBJECTS:starwright_wine_test_main> ${CMAKE_CURRENT_LIST_DIR}/runtime_test.cpp)
  target_link_libraries(starwright_runtime_tests PRIVATE gtest ole32)
  add_dependencies(starwright_runtime_tests starwright_runtime_test_dll)
  add_test(NAME runtime COMMAND starwright_runtime_tests)
  starwright_kit_run(runtime starwright_runtime_tests)
  starwright_kit_file($<TARGET_FILE:starwright_runtime_test_dll>)
  set_tests_properties(runtime PROPERTIES TIMEOUT 120)
  # The check after each such link, on Starwright.dll's link map; it is the same in both builds.
  if(TARGET Starwright AND STARWRIGHT_WINDOWS_BITS EQUAL 32)
    add_test(NAME runtime_link_check
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/runtime_link_check.sh $<TARGET_FILE_DIR:Starwright>/Starwright.map
              ${STARWRIGHT_WINPTHREAD} ${CMAKE_NM})
  endif()
endif()
