# The cool-down's number texts from oleaut32, and the whole run through the real window, in an
# English and a German user locale.
list(APPEND starwright_windows_test_sources
  ${CMAKE_CURRENT_LIST_DIR}/cooldown_number_text_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cooldown_window_test.cpp)
list(APPEND starwright_windows_test_libraries starwright_win32 starwright_sim starwright_platform starwright_platform_win)
foreach(locale en de)
  starwright_windows_test(cooldown_number_text_${locale} "WindowsNumberText.*" LOCALE ${locale})
  starwright_windows_test(cooldown_window_${locale} "CooldownWindowTest.*" LOCALE ${locale} TIMEOUT 120)
endforeach()
