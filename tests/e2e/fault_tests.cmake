# Printer faults end to end: dropped and restarted connections, stalls, cover open and paper
# end mid-job, power cycles, serial and USB cables pulled and plugged back.
if(ZANTH_SO_COM_FULL AND TARGET zanth_sim AND EXISTS ${PROJECT_SOURCE_DIR}/platform/src/regfile.cpp)
  zanth_add_test(NAME e2e_fault_scenarios SOURCES ${CMAKE_CURRENT_LIST_DIR}/fault_scenarios_test.cpp
                 LIBS zanth_co zanth_sim zanth_platform)
  add_dependencies(e2e_fault_scenarios ZanthSO)
endif()

# The registry file damaged, rewritten and shared while the control object opens devices;
# zanth-reg is the other process.
if(ZANTH_SO_COM_FULL AND TARGET zanth_sim AND TARGET zanth-reg)
  zanth_add_test(NAME e2e_registry_faults SOURCES ${CMAKE_CURRENT_LIST_DIR}/registry_faults_test.cpp
                 LIBS zanth_co zanth_sim zanth_platform)
  add_dependencies(e2e_registry_faults ZanthSO zanth-reg)
  target_compile_definitions(e2e_registry_faults PRIVATE ZANTH_REG_PATH="$<TARGET_FILE:zanth-reg>")
endif()

# The fault soak (scripts/soak.sh): random faults for ZANTH_SOAK_SECONDS; not a ctest test.
if(ZANTH_SO_COM_FULL AND TARGET zanth_sim AND EXISTS ${PROJECT_SOURCE_DIR}/platform/src/regfile.cpp)
  add_executable(e2e_soak_faults ${CMAKE_CURRENT_LIST_DIR}/soak_faults.cpp)
  target_link_libraries(e2e_soak_faults PRIVATE zanth_co zanth_sim zanth_platform GTest::gtest
                        GTest::gtest_main Threads::Threads)
  target_include_directories(e2e_soak_faults PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_dependencies(e2e_soak_faults ZanthSO)
endif()
