# The plug-in through Starwright.dll and its real window against a floor measured in the same
# run: a plain client making the same host calls and a bare window with the same controls.
if(TARGET Starwright AND TARGET starwright_sim_com AND TARGET starwright_win32)
  add_executable(plugin_floor_bench ${CMAKE_CURRENT_LIST_DIR}/plugin_floor_bench.cpp)
  target_link_libraries(plugin_floor_bench PRIVATE starwright_sim_com starwright_sim starwright_win32
                        ole32 oleaut32 uuid user32 gdi32)
  add_dependencies(plugin_floor_bench starwright_bench_files)
endif()
