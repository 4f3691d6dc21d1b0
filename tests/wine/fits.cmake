# The header keyword tool's value conversions through oleaut32 in an English and a German user
# locale (Wine takes the user locale from LC_ALL), against the portable twin's table, and in a
# French one, whose thousands separator is a no-break space.
add_executable(fits_number_parse_test $<TARGET_OBJECTS:starwright_wine_test_main> ${CMAKE_CURRENT_LIST_DIR}/fits_number_parse_test.cpp)
target_link_libraries(fits_number_parse_test PRIVATE starwright_platform_win gtest)
add_test(NAME fits_number_parse_en COMMAND fits_number_parse_test en)
set_tests_properties(fits_number_parse_en PROPERTIES ENVIRONMENT "LC_ALL=en_US.UTF-8")
add_test(NAME fits_number_parse_de COMMAND fits_number_parse_test de)
set_tests_properties(fits_number_parse_de PROPERTIES ENVIRONMENT "LC_ALL=de_DE.UTF-8")
add_test(NAME fits_number_parse_fr COMMAND fits_number_parse_test fr)
set_tests_properties(fits_number_parse_fr PROPERTIES ENVIRONMENT "LC_ALL=fr_FR.UTF-8")

# The whole tool through the real window, with the documents reached over COM, in both locales.
if(TARGET starwright_win32 AND TARGET starwright_com AND TARGET starwright_sim_com)
  add_executable(fits_window_test $<TARGET_OBJECTS:starwright_wine_test_main> ${CMAKE_CURRENT_LIST_DIR}/fits_window_test.cpp)
  target_link_libraries(fits_window_test PRIVATE starwright_win32 starwright_com starwright_sim_com starwright_sim
                        starwright_platform starwright_platform_win gtest)
  add_test(NAME fits_window_en COMMAND fits_window_test en)
  add_test(NAME fits_window_de COMMAND fits_window_test de)
  set_tests_properties(fits_window_en PROPERTIES ENVIRONMENT "LC_ALL=en_US.UTF-8" TIMEOUT 120)
  set_tests_properties(fits_window_de PROPERTIES ENVIRONMENT "LC_ALL=de_DE.UTF-8" TIMEOUT 120)
endif()
