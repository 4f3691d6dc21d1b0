# The cool-down's number texts from oleaut32 in an English and a German user locale (Wine takes
# the user locale from LC_ALL).
add_executable(cooldown_number_text_test $<TARGET_OBJECTS:starwright_wine_test_main>
               ${CMAKE_CURRENT_LIST_DIR}/cooldown_number_text_test.cpp)
target_link_libraries(cooldown_number_text_test PRIVATE starwright_platform_win gtest)
add_test(NAME cooldown_number_text_en COMMAND cooldown_number_text_test en)
set_tests_properties(cooldown_number_text_en PROPERTIES ENVIRONMENT "LC_ALL=en_US.UTF-8")
add_test(NAME cooldown_number_text_de COMMAND cooldown_number_text_test de)
set_tests_properties(cooldown_number_text_de PROPERTIES ENVIRONMENT "LC_ALL=de_DE.UTF-8")

# The whole run through the real window, in both locales.
if(TARGET starwright_win32)
  add_executable(cooldown_window_test $<TARGET_OBJECTS:starwright_wine_test_main> ${CMAKE_CURRENT_LIST_DIR}/cooldown_window_test.cpp)
  target_link_libraries(cooldown_window_test PRIVATE starwright_win32 starwright_sim starwright_platform
                        starwright_platform_win gtest)
  add_test(NAME cooldown_window_en COMMAND cooldown_window_test en)
  add_test(NAME cooldown_window_de COMMAND cooldown_window_test de)
  set_tests_properties(cooldown_window_en PROPERTIES ENVIRONMENT "LC_ALL=en_US.UTF-8" TIMEOUT 120)
  set_tests_properties(cooldown_window_de PROPERTIES ENVIRONMENT "LC_ALL=de_DE.UTF-8" TIMEOUT 120)
endif()
