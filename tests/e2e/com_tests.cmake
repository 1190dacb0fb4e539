# End-to-end tests of the COM layer: clients that load the built service object.
if(ZANTH_SO_COM_FULL AND EXISTS ${PROJECT_SOURCE_DIR}/platform/src/regfile.cpp)
  zanth_add_test(NAME com_raw_client_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/com_raw_client_test.cpp
                 LIBS zanth_platform zanth_sim)
  add_dependencies(com_raw_client_test ZanthSO)
  zanth_add_test(NAME com_co_client_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/com_co_client_test.cpp
                 LIBS zanth_co zanth_platform zanth_sim)
  add_dependencies(com_co_client_test ZanthSO)
endif()

# Events through the virtual printer on loopback TCP.
if(ZANTH_SO_COM_FULL AND TARGET zanth_sim AND EXISTS ${PROJECT_SOURCE_DIR}/platform/src/regfile.cpp)
  zanth_add_test(NAME com_events_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/com_events_test.cpp
                 LIBS zanth_co zanth_sim zanth_platform)
  add_dependencies(com_events_test ZanthSO)
endif()

# Asynchronous output and events through the control objects.
if(ZANTH_SO_COM_FULL AND TARGET zanth_sim AND EXISTS ${PROJECT_SOURCE_DIR}/platform/src/regfile.cpp)
  zanth_add_test(NAME e2e_async_events SOURCES ${CMAKE_CURRENT_LIST_DIR}/async_events_test.cpp
                 LIBS zanth_co zanth_sim zanth_platform)
  add_dependencies(e2e_async_events ZanthSO)
endif()
