# Load end to end: many jobs, control objects, printers and open/close cycles. They run alone
# (RUN_SERIAL): the load would starve the timing checks of tests running beside them.
if(ZANTH_SO_COM_FULL AND TARGET zanth_sim AND EXISTS ${PROJECT_SOURCE_DIR}/platform/src/regfile.cpp)
  add_executable(e2e_load ${CMAKE_CURRENT_LIST_DIR}/load_test.cpp)
  target_link_libraries(e2e_load PRIVATE zanth_co zanth_sim zanth_platform GTest::gtest GTest::gtest_main
                        Threads::Threads)
  target_include_directories(e2e_load PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_dependencies(e2e_load ZanthSO)
  gtest_discover_tests(e2e_load DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 900 RUN_SERIAL TRUE LABELS e2e
               ENVIRONMENT "ZANTH_BUILD_DIR=${PROJECT_BINARY_DIR}")
endif()
