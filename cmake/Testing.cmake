find_package(GTest REQUIRED)
include(GoogleTest)

# The labels a test may carry. "threads": the program starts threads (ctest -L threads picks the
# programs a ThreadSanitizer build has to run).
set(NORRIK_TEST_LABELS threads)
set(NORRIK_TEST_PROPERTIES_CHECK ${CMAKE_CURRENT_LIST_DIR}/CheckTestProperties.cmake)

# norrik_test(<name> LIBS lib... [LABELS label] [SERIAL test...]): one test program of every *.cpp
# in the folder. The SERIAL tests (full names, Suite.Test) run alone, with no other test beside
# them: the ones that need much of the machine's memory.
function(norrik_test name)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS;SERIAL" ${ARGN})
  # gtest_discover_tests takes PROPERTIES as one flat list: a label list would split into names.
  list(LENGTH ARG_LABELS label_count)
  if(label_count GREATER 1)
    message(FATAL_ERROR "norrik_test(${name}): one label at most")
  endif()
  if(ARG_LABELS AND NOT ARG_LABELS IN_LIST NORRIK_TEST_LABELS)
    message(FATAL_ERROR "norrik_test(${name}): unknown label ${ARG_LABELS}")
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  list(JOIN ARG_SERIAL ":" serial)
  set_property(GLOBAL APPEND PROPERTY NORRIK_TEST_PROGRAMS "${name}|${ARG_LABELS}|${serial}")
  # An empty value would drop out of the flat list and shift every name after it.
  set(properties "")
  if(ARG_LABELS)
    set(properties LABELS ${ARG_LABELS})
  endif()
  if(NOT ARG_SERIAL)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
    return()
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "-${serial}" PROPERTIES ${properties})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "${serial}" PROPERTIES ${properties} RUN_SERIAL TRUE)
endfunction()

# norrik_test_properties_check(): a test that reads the registered tests back from CTest and
# fails when a test of a norrik_test program lacks its labels or RUN_SERIAL, or any test carries
# a label not in NORRIK_TEST_LABELS. Called after every norrik_test.
function(norrik_test_properties_check)
  get_property(programs GLOBAL PROPERTY NORRIK_TEST_PROGRAMS)
  set(expected ${CMAKE_CURRENT_BINARY_DIR}/test_properties_expected.cmake)
  file(CONFIGURE OUTPUT ${expected} CONTENT
       "set(known_labels \"@NORRIK_TEST_LABELS@\")\nset(programs \"@programs@\")\n" @ONLY)
  add_test(NAME TestProperties.SerialTestsRunAloneWithTheirLabels
           COMMAND ${CMAKE_COMMAND} -DCTEST=${CMAKE_CTEST_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
                   -DEXPECTED=${expected} -P ${NORRIK_TEST_PROPERTIES_CHECK})
endfunction()
