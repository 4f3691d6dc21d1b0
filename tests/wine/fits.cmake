# The header keyword tool's value conversions through oleaut32 in an English and a German user
# locale, against the portable twin's table, in a French one, whose thousands separator is a
# no-break space, and under a user's own settings; and the whole tool through the real window,
# with the documents reached over COM, in English and German.
list(APPEND starwright_windows_test_sources
  ${CMAKE_CURRENT_LIST_DIR}/fits_number_parse_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fits_window_test.cpp)
list(APPEND starwright_windows_test_libraries starwright_win32 starwright_com starwright_sim_com starwright_sim
     starwright_platform starwright_platform_win)
foreach(locale en de fr)
  starwright_windows_test(fits_number_parse_${locale} "WindowsNumberParse.*" LOCALE ${locale})
endforeach()
# The user's own settings, changed in a scratch user locale (Indian English) that no other run
# uses: Wine writes a locale's own settings back whenever a program starts in another user
# locale than the one before, so the next run sees none of them.
starwright_windows_test(fits_number_parse_settings "WindowsNumberParseSettings.*" UNIX_LOCALE en_IN.UTF-8)
foreach(locale en de)
  starwright_windows_test(fits_window_${locale} "FitsWindowTest.*" LOCALE ${locale} TIMEOUT 120)
endforeach()
