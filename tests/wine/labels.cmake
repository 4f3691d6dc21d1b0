# The tool window's label texts fit their labels as on Windows: measured in the real window
# with the fonts the prefix gives "MS Sans Serif".
list(APPEND starwright_windows_test_sources ${CMAKE_CURRENT_LIST_DIR}/label_width_test.cpp)
list(APPEND starwright_windows_test_libraries starwright_win32)
starwright_windows_test(label_width "LabelWidth.*" TIMEOUT 60)
