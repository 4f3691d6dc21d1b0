# The dated folder tool's Windows services: the file APIs and the local clock.
add_executable(starwright_folder_tests ${CMAKE_CURRENT_LIST_DIR}/folder_file_system_test.cpp)
target_link_libraries(starwright_folder_tests PRIVATE starwright_platform_win gtest gtest_main)
add_test(NAME folder_file_system COMMAND starwright_folder_tests)
