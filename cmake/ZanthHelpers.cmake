# Test programs carry line tables only (backtraces keep their files and lines): full debug
# information of GoogleTest's templates made a third of the build's time. They compile
# without optimisation, while the libraries they test keep the build's level: optimising a
# test file's assertions doubled its compile time under AddressSanitizer (30 s against 16 s)
# for no test's benefit.
set(ZANTH_TEST_COMPILE_OPTIONS -g1 -O0)

# GoogleTest's header and the standard headers the tests use, parsed once per build instead
# of once a test file (1.5 s each). The precompiled header only counts where every option
# matches, -fPIE included, so its owner is a test-like program of its own.
function(zanth_test_precompiled_header)
  if(TARGET zanth_test_pch)
    return()
  endif()
  set(anchor ${PROJECT_BINARY_DIR}/zanth_test_pch.cpp)
  file(CONFIGURE OUTPUT ${anchor} CONTENT "int main() { return 0; }\n")
  add_executable(zanth_test_pch ${anchor})
  target_compile_options(zanth_test_pch PRIVATE ${ZANTH_TEST_COMPILE_OPTIONS})
  target_link_libraries(zanth_test_pch PRIVATE GTest::gtest Threads::Threads)
  target_precompile_headers(zanth_test_pch PRIVATE
    <gtest/gtest.h> <algorithm> <atomic> <chrono> <condition_variable> <cstdint> <cstdio>
    <cstdlib> <filesystem> <fstream> <functional> <map> <memory> <mutex> <set> <string>
    <thread> <vector>)
endfunction()

# zanth_add_test(NAME name SOURCES a.cpp b.cpp LIBS lib... [TIMEOUT s] [OWN_HEADERS])
# One GoogleTest executable per unit; every test case becomes its own CTest entry.
# OWN_HEADERS: a program whose libraries change the compile options (Qt asks for -fPIC)
# parses its headers itself; the shared precompiled header would not serve it.
function(zanth_add_test)
  cmake_parse_arguments(ZT "OWN_HEADERS" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ZT_TIMEOUT)
    set(ZT_TIMEOUT 300)
  endif()
  add_executable(${ZT_NAME} ${ZT_SOURCES})
  target_compile_options(${ZT_NAME} PRIVATE ${ZANTH_TEST_COMPILE_OPTIONS})
  if(NOT ZT_OWN_HEADERS)
    zanth_test_precompiled_header()
    target_precompile_headers(${ZT_NAME} REUSE_FROM zanth_test_pch)
  endif()
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
