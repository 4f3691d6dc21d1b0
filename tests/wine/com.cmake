# The COM binding against the simulated host served as COM objects in the test process.
list(APPEND starwright_windows_test_sources
  ${CMAKE_CURRENT_LIST_DIR}/com_binding_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/com_automation_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/com_server_test.cpp)
list(APPEND starwright_windows_test_libraries starwright_com starwright_sim_com)
starwright_windows_test(com_binding "ComBindingTest.*:AutomationErrorTest.*:BstrTest.*:SimComServerTest.*" LOCALE en)
