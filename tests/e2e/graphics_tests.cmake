# Bitmaps and barcodes end to end: the control object, the service object and the virtual
# printer, whose drawing is read back with zbarimg.
if(ZANTH_SO_COM_FULL AND TARGET zanth_sim AND EXISTS ${PROJECT_SOURCE_DIR}/platform/src/regfile.cpp)
  zanth_add_test(NAME graphics_receipt_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/graphics_receipt_test.cpp
                 LIBS zanth_co zanth_sim zanth_platform)
  add_dependencies(graphics_receipt_test ZanthSO)
  zanth_add_test(NAME ruled_lines_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/ruled_lines_test.cpp
                 LIBS zanth_co zanth_sim zanth_platform)
  add_dependencies(ruled_lines_test ZanthSO)
endif()
# Page-mode layouts and sideways receipts end to end, read back from the printer's drawing.
if(ZANTH_SO_COM_FULL AND TARGET zanth_sim AND EXISTS ${PROJECT_SOURCE_DIR}/platform/src/regfile.cpp)
  zanth_add_test(NAME page_layout_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/page_layout_test.cpp
                 LIBS zanth_co zanth_sim zanth_platform)
  add_dependencies(page_layout_test ZanthSO)
endif()
