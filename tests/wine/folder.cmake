# The dated folder tool's Windows services (the file APIs and the local clock) and "Create
# Path" through the real window, with the camera reached over COM.
list(APPEND starwright_windows_test_sources
  ${CMAKE_CURRENT_LIST_DIR}/folder_file_system_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_window_test.cpp)
list(APPEND starwright_windows_test_libraries starwright_win32 starwright_com starwright_sim_com starwright_platform
     starwright_platform_win)
starwright_windows_test(folder "WindowsFileSystemTest.*:WindowsClockTest.*:FolderWindowTest.*")
