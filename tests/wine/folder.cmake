# The dated folder tool's Windows services (the file APIs and the local clock) and "Create
# Path" through the real window, with the camera reached over COM.
set(starwright_folder_sources $<TARGET_OBJECTS:starwright_wine_test_main> ${CMAKE_CURRENT_LIST_DIR}/folder_file_system_test.cpp)
set(starwright_folder_libraries starwright_platform_win gtest)
if(TARGET starwright_win32 AND TARGET starwright_com AND TARGET starwright_sim_com)
  list(APPEND starwright_folder_sources ${CMAKE_CURRENT_LIST_DIR}/folder_window_test.cpp)
  list(APPEND starwright_folder_libraries starwright_win32 starwright_com starwright_sim_com starwright_platform)
endif()
add_executable(starwright_folder_tests ${starwright_folder_sources})
target_link_libraries(starwright_folder_tests PRIVATE ${starwright_folder_libraries})
add_test(NAME folder COMMAND starwright_folder_tests)
