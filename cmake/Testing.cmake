find_package(GTest REQUIRED)
include(GoogleTest)

# norrik_test(<name> LIBS lib... [LABELS label...] [SERIAL test...]): one test program of every *.cpp
# in the folder. Tests labelled "threads" also run under ThreadSanitizer in CI. The SERIAL tests
# (full names, Suite.Test) run alone, with no other test beside them: the ones that need much of
# the machine's memory.
function(norrik_test name)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS;SERIAL" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  if(NOT ARG_SERIAL)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
    return()
  endif()
  list(JOIN ARG_SERIAL ":" serial)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "-${serial}" PROPERTIES LABELS "${ARG_LABELS}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "${serial}"
                       PROPERTIES LABELS "${ARG_LABELS}" RUN_SERIAL TRUE)
endfunction()
