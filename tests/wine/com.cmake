# The COM binding against the simulated host served as COM objects in the test process.
if(TARGET starwright_com AND TARGET starwright_sim_com)
  add_executable(starwright_com_tests
    $<TARGET_OBJECTS:starwright_wine_test_main>
    ${CMAKE_CURRENT_LIST_DIR}/com_binding_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/com_automation_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/com_server_test.cpp
  )
  target_link_libraries(starwright_com_tests PRIVATE starwright_com starwright_sim_com gtest)
  add_test(NAME com_binding COMMAND starwright_com_tests)
  set_tests_properties(com_binding PROPERTIES ENVIRONMENT "LC_ALL=en_US.UTF-8")
endif()
