# Handlers meeting a host that pumps window messages inside its calls and answers with what
# the tools do not expect.
list(APPEND starwright_windows_test_sources ${CMAKE_CURRENT_LIST_DIR}/close_during_host_call_test.cpp)
list(APPEND starwright_windows_test_libraries starwright_win32 starwright_com starwright_sim_com starwright_sim
     starwright_platform starwright_platform_win)
starwright_windows_test(close_during_host_call "CloseDuringHostCallTest.*" TIMEOUT 120)
# The COM binding's conversions of unexpected answers in a German locale as well (com_binding
# runs them in English).
starwright_windows_test(hostile_answers_de "ComBindingTest.HostileAnswers*" LOCALE de)
