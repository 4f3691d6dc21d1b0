# The header keyword tool's value conversions through oleaut32 in an English and a German user
# locale (Wine takes the user locale from LC_ALL), against the portable twin's table.
add_executable(fits_number_parse_test ${CMAKE_CURRENT_LIST_DIR}/fits_number_parse_test.cpp)
target_link_libraries(fits_number_parse_test PRIVATE starwright_platform_win gtest)
add_test(NAME fits_number_parse_en COMMAND fits_number_parse_test en)
set_tests_properties(fits_number_parse_en PROPERTIES ENVIRONMENT "LC_ALL=en_US.UTF-8")
add_test(NAME fits_number_parse_de COMMAND fits_number_parse_test de)
set_tests_properties(fits_number_parse_de PROPERTIES ENVIRONMENT "LC_ALL=de_DE.UTF-8")
