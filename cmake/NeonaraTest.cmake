# neonara_test(NAME [SOURCES] files... [LIBS libs...])
#
# Builds the GoogleTest program test_NAME.exe from the files and
# tests/test_main.cpp (which holds main, so gtest_main is not linked) and
# registers it as one CTest test named NAME.  CTest runs it through the
# cross-compiling emulator (scripts/wine-run) from the build folder.
function(neonara_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBS")
  set(sources ${arg_UNPARSED_ARGUMENTS} ${arg_SOURCES})
  set(main "${CMAKE_SOURCE_DIR}/tests/test_main.cpp")
  if(NOT EXISTS "${main}")
    message(FATAL_ERROR "neonara_test(${name}): ${main} is missing")
  endif()
  set(target test_${name})
  add_executable(${target} ${sources} "${main}")
  target_link_libraries(${target} PRIVATE ${arg_LIBS} neonara::gtest)
  add_test(NAME ${name} COMMAND ${target})
  set_tests_properties(${name} PROPERTIES
    TIMEOUT 600
    WORKING_DIRECTORY "${CMAKE_BINARY_DIR}")
endfunction()

# neonara_bench(NAME [SOURCES] files... [LIBS libs...])
#
# Builds bench_NAME.exe (its own main; not a CTest test).  scripts/bench runs
# every bench_*.exe in the build folder.
function(neonara_bench name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBS")
  set(target bench_${name})
  add_executable(${target} ${arg_UNPARSED_ARGUMENTS} ${arg_SOURCES})
  target_link_libraries(${target} PRIVATE ${arg_LIBS})
endfunction()
