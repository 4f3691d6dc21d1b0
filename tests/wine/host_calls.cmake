# Handlers meeting a host that pumps window messages inside its calls and answers with what
# the tools do not expect.
if(TARGET starwright_win32 AND TARGET starwright_com AND TARGET starwright_sim_com)
  add_executable(close_during_host_call_test $<TARGET_OBJECTS:starwright_wine_test_main>
                 ${CMAKE_CURRENT_LIST_DIR}/close_during_host_call_test.cpp)
  target_link_libraries(close_during_host_call_test PRIVATE starwright_win32 starwright_com starwright_sim_com
                        starwright_sim starwright_platform starwright_platform_win gtest)
  add_test(NAME close_during_host_call COMMAND close_during_host_call_test)
  set_tests_properties(close_during_host_call PROPERTIES TIMEOUT 120)
endif()
# The COM binding's conversions of unexpected answers in a German locale as well (com_binding
# runs them in English).
if(TARGET starwright_com_tests)
  add_test(NAME hostile_answers_de COMMAND starwright_com_tests de --gtest_filter=*HostileAnswers*)
  set_tests_properties(hostile_answers_de PROPERTIES ENVIRONMENT "LC_ALL=de_DE.UTF-8")
endif()
