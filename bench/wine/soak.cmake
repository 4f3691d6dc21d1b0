# The soak benchmark: Starwright.dll in one host process through a long night of showings and
# unloads (see soak_bench.cpp).
if(TARGET Starwright AND TARGET starwright_sim_com AND TARGET starwright_win32)
  add_executable(soak_bench ${CMAKE_CURRENT_LIST_DIR}/soak_bench.cpp ${CMAKE_SOURCE_DIR}/tests/wine/host_library.rc)
  target_link_libraries(soak_bench PRIVATE
    starwright_sim_com starwright_sim starwright_win32 ole32 oleaut32 uuid psapi user32 gdi32)
  set_target_properties(soak_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  add_dependencies(soak_bench starwright_bench_files)
endif()
