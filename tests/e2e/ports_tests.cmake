# Ports end to end: the control object and the service object to the virtual printer
# behind a pseudo-terminal, a FIFO pair and loopback TCP.
if(ZANTH_SO_COM_FULL AND TARGET zanth_sim AND TARGET zanth_co)
  zanth_add_test(NAME e2e_ports_co SOURCES ${CMAKE_CURRENT_LIST_DIR}/PortsControlObjectTest.cpp
                 LIBS zanth_co zanth_sim zanth_platform)
  add_dependencies(e2e_ports_co ZanthSO)
endif()
