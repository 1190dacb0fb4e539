# Load end to end: many jobs, control objects, printers and open/close cycles.
if(ZANTH_SO_COM_FULL AND TARGET zanth_sim AND EXISTS ${PROJECT_SOURCE_DIR}/platform/src/regfile.cpp)
  zanth_add_test(NAME e2e_load SOURCES ${CMAKE_CURRENT_LIST_DIR}/load_test.cpp
                 LIBS zanth_co zanth_sim zanth_platform TIMEOUT 900)
  add_dependencies(e2e_load ZanthSO)
endif()
