# Small helpers shared by every folder's CMakeLists.

# t32_library(NAME SOURCES ... DEPS ...): a static library of one layer.
function(t32_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${A_DEPS})
endfunction()

# t32_test(NAME LABEL SOURCES ... DEPS ...): a GoogleTest program registered with CTest.
function(t32_test name)
  cmake_parse_arguments(A "" "LABEL" "SOURCES;DEPS" ${ARGN})
  if(NOT T32_TESTS)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE T32_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures")
  gtest_discover_tests(${name} PROPERTIES LABELS "${A_LABEL}" DISCOVERY_TIMEOUT 120)
endfunction()

# t32_fuzz(NAME SOURCES ... DEPS ...): a libFuzzer target; its seed corpus is fuzz/corpus/NAME.
function(t32_fuzz name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# t32_bench(NAME SOURCES ... DEPS ...): a Google Benchmark program.
function(t32_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/bench)
  target_link_libraries(${name} PRIVATE ${A_DEPS} benchmark::benchmark)
endfunction()

# Adds every sub-folder of the current folder that has a CMakeLists.txt.
macro(t32_add_subfolders)
  file(GLOB _t32_subs RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  list(SORT _t32_subs)
  foreach(_f ${_t32_subs})
    get_filename_component(_d ${_f} DIRECTORY)
    add_subdirectory(${_d})
  endforeach()
endmacro()
