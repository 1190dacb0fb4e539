# Text printing end to end: the control object, the service object and the virtual printer.
if(ZANTH_SO_COM_FULL AND TARGET zanth_sim AND EXISTS ${PROJECT_SOURCE_DIR}/platform/src/regfile.cpp)
  zanth_add_test(NAME print_receipt_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/print_receipt_test.cpp
                 LIBS zanth_co zanth_sim zanth_platform)
  add_dependencies(print_receipt_test ZanthSO)
endif()
# Printers that cannot answer, code pages, fonts, cuts and shared printers end to end.
if(ZANTH_SO_COM_FULL AND TARGET zanth_sim AND TARGET zanth_co)
  zanth_add_test(NAME print_paths_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/print_paths_test.cpp
                 LIBS zanth_co zanth_sim zanth_platform)
  add_dependencies(print_paths_test ZanthSO)
endif()
