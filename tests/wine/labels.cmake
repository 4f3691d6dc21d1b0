# The tool window's label texts fit their labels as on Windows: measured in the real window
# with the fonts the prefix gives "MS Sans Serif".
if(TARGET starwright_win32)
  add_executable(label_width_test $<TARGET_OBJECTS:starwright_wine_test_main> ${CMAKE_CURRENT_LIST_DIR}/label_width_test.cpp)
  target_link_libraries(label_width_test PRIVATE starwright_win32 gtest)
  add_test(NAME label_width COMMAND label_width_test)
  set_tests_properties(label_width PROPERTIES TIMEOUT 60)
endif()
