# Builds the fuzz targets with clang into BUILD_DIR and runs each for SECONDS on its seed corpus
# and what earlier runs found (kept in BUILD_DIR/corpus). Prints "SKIP: …" when clang or its
# fuzzer runtime is missing; a finding, or a build that fails, is a fatal error.
#   cmake -DBUILD_DIR=<build>/fuzz [-DSECONDS=60] [-DGENERATOR=Ninja] -P fuzz/run.cmake
cmake_minimum_required(VERSION 3.22)

if(NOT BUILD_DIR)
  message(FATAL_ERROR "BUILD_DIR is not set; run with -DBUILD_DIR=…")
endif()
if(NOT SECONDS)
  set(SECONDS 60)
endif()
if(NOT GENERATOR)
  set(GENERATOR Ninja)
endif()
set(SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(targets library_file steam_manifest catalog windows_icon)

find_program(CLANGXX NAMES clang++ clang++-14)
if(NOT CLANGXX)
  message("SKIP: clang++ is not installed, so the fuzz targets were not built or run.")
  return()
endif()
# The sanitizers and libFuzzer live in clang's runtime package, apart from the compiler.
set(probe ${BUILD_DIR}/probe)
file(WRITE ${probe}/probe.cpp
  "extern \"C\" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }\n")
execute_process(COMMAND ${CLANGXX} -fsanitize=fuzzer,address,undefined probe.cpp -o probe
  WORKING_DIRECTORY ${probe} RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
if(NOT result EQUAL 0)
  message("SKIP: clang's fuzzer runtime (libclang-rt-14-dev) is missing, so the fuzz targets were not built or run.")
  return()
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BUILD_DIR} -G ${GENERATOR}
  -DCMAKE_CXX_COMPILER=${CLANGXX} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Configuring the fuzz targets failed:\n${output}")
endif()
# One job: the rest of the test suite runs beside this build.
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --parallel 1
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Building the fuzz targets failed:\n${output}")
endif()

foreach(target ${targets})
  set(corpus ${BUILD_DIR}/corpus/${target})
  file(MAKE_DIRECTORY ${corpus} ${BUILD_DIR}/findings)
  set(dictionary)
  if(EXISTS ${SOURCE_DIR}/${target}.dict)
    set(dictionary -dict=${SOURCE_DIR}/${target}.dict)
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env UBSAN_OPTIONS=print_stacktrace=1
    ${BUILD_DIR}/fuzz_${target} -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048
    -artifact_prefix=${BUILD_DIR}/findings/${target}- ${dictionary}
    ${corpus} ${SOURCE_DIR}/corpus/${target}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "fuzz_${target} found a fault (the input is in ${BUILD_DIR}/findings):\n${output}")
  endif()
  string(REGEX MATCH "Done [0-9]+ runs in [0-9]+ second\\(s\\)" done "${output}")
  message(STATUS "fuzz_${target}: ${done}, no finding")
endforeach()
