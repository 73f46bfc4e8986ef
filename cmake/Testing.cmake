find_package(GTest REQUIRED)
include(GoogleTest)

# norrik_test(<name> LIBS lib... [LABELS label...]): one test program of every *.cpp in the folder.
# Tests labelled "threads" also run under ThreadSanitizer in CI.
function(norrik_test name)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
endfunction()
