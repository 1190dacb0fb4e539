# Printer status read through the control object from the virtual printer.
if(ZANTH_SO_COM_FULL AND TARGET zanth_sim AND TARGET zanth_co)
  zanth_add_test(NAME e2e_status_co SOURCES ${CMAKE_CURRENT_LIST_DIR}/StatusControlObjectTest.cpp
                 LIBS zanth_co zanth_sim zanth_platform)
  add_dependencies(e2e_status_co ZanthSO)
endif()
