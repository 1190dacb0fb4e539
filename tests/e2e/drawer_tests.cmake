# The cash drawer through the CashDrawer control object and the virtual printer.
if(ZANTH_SO_COM_FULL AND TARGET zanth_sim AND TARGET zanth_co)
  zanth_add_test(NAME e2e_drawer_co SOURCES ${CMAKE_CURRENT_LIST_DIR}/DrawerControlObjectTest.cpp
                 LIBS zanth_co zanth_sim zanth_platform)
  add_dependencies(e2e_drawer_co ZanthSO)
endif()
