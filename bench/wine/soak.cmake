# The soak benchmark: Starwright.dll in one host process through a long night of showings and
# unloads (see soak_bench.cpp).
if(TARGET Starwright AND TARGET starwright_sim_com AND TARGET starwright_win32)
  add_executable(soak_bench ${CMAKE_CURRENT_LIST_DIR}/soak_bench.cpp)
  target_link_libraries(soak_bench PRIVATE
    starwright_sim_com starwright_sim starwright_win32 ole32 oleaut32 uuid psapi user32 gdi32)
  set_target_properties(soak_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  add_dependencies(soak_bench Starwright)
  # It loads the module and the stand-in host library from its own folder, as the tests do.
  add_custom_command(TARGET soak_bench POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Starwright> ${STARWRIGHT_HOST_STUB}
            $<TARGET_FILE_DIR:soak_bench>
    VERBATIM)
endif()
