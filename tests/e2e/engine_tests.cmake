# The engine against the virtual printer over real ports.
if(TARGET zanth_sim AND EXISTS ${PROJECT_SOURCE_DIR}/so/cmd/ModelTMT88IV.h)
  zanth_add_test(NAME e2e_engine_tcp SOURCES ${CMAKE_CURRENT_LIST_DIR}/EngineTcpTest.cpp
                 LIBS zanth_so_printer zanth_so_cmd zanth_so_io zanth_sim)
endif()
