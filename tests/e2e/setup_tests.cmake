# Entries the setup tool saves, opened through the control objects and the service object.
if(ZANTH_SO_COM_FULL AND TARGET zanth_sim AND TARGET zanth_setup_devicetest)
  zanth_add_test(NAME setup_devices_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/setup_devices_test.cpp
                 LIBS zanth_setup_core zanth_setup_devicetest zanth_co zanth_sim zanth_platform)
  add_dependencies(setup_devices_test ZanthSO)
endif()
