# zanth_add_test(NAME name SOURCES a.cpp b.cpp LIBS lib...)
# One GoogleTest executable per unit; every test case becomes its own CTest entry.
function(zanth_add_test)
  cmake_parse_arguments(ZT "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ZT_TIMEOUT)
    set(ZT_TIMEOUT 300)
  endif()
  add_executable(${ZT_NAME} ${ZT_SOURCES})
  # Test programs carry line tables only (backtraces keep their files and lines): full
  # debug information of GoogleTest's templates made a third of the build's time.
  target_compile_options(${ZT_NAME} PRIVATE -g1)
  target_link_libraries(${ZT_NAME} PRIVATE ${ZT_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${ZT_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # Labelled by the tests/ folder the suite lives in (e2e, so, platform...), so a run can
  # pick the end-to-end suites out: ctest -L e2e, ctest -LE e2e.
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REGEX REPLACE "/.*" "" folder "${folder}")
  gtest_discover_tests(${ZT_NAME}
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT ${ZT_TIMEOUT}
               LABELS "${folder}"
               ENVIRONMENT "ZANTH_BUILD_DIR=${PROJECT_BINARY_DIR};ZANTH_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt (one program each).
function(zanth_add_subfolders)
  file(GLOB subdirs LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(sub ${subdirs})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${sub} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/CMakeLists.txt)
      add_subdirectory(${sub})
    endif()
  endforeach()
endfunction()

# zanth_add_fuzzer(NAME fuzz_x SOURCES a.cpp LIBS lib...)
# One libFuzzer target; the fuzz build already instruments everything (ZANTH_FUZZ).
function(zanth_add_fuzzer)
  cmake_parse_arguments(ZF "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${ZF_NAME} ${ZF_SOURCES})
  target_link_libraries(${ZF_NAME} PRIVATE ${ZF_LIBS} Threads::Threads)
  target_include_directories(${ZF_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_options(${ZF_NAME} PRIVATE -fsanitize=fuzzer)
endfunction()
