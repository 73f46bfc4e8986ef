# Libraries of the signal-processing primitives.
#
# A primitives folder holds plain sources (compiled once) and a `variant/` folder whose sources are
# compiled three times, once per instruction-set variant, with the variant's flags and name prefix:
#   m7_  baseline x86-64 (index 0 and 1 run it, so it must not fault on a processor without SSE3)
#   u8_  -mssse3
#   y8_  -msse4.1
# Inside a variant source, NORRIK_VARIANT is the prefix token (m7_ ...) and NORRIK_VARIANT_ID is 0, 1, 2;
# primitives/common/variant.h turns them into names.
set(NORRIK_VARIANTS m7 u8 y8)
set(NORRIK_VARIANT_FLAGS_m7 "")
set(NORRIK_VARIANT_FLAGS_u8 "-mssse3")
set(NORRIK_VARIANT_FLAGS_y8 "-msse4.1")
set(NORRIK_VARIANT_ID_m7 0)
set(NORRIK_VARIANT_ID_u8 1)
set(NORRIK_VARIANT_ID_y8 2)
# The per-sample code (primitives and dsp) starts each function on a cache line: its loops then keep
# their placement whatever is linked before them, so its speed does not shift with unrelated edits.
set(NORRIK_HOT_CODE_FLAGS -falign-functions=64)

# norrik_primitive_library(<name> [DEPENDS lib...])
function(norrik_primitive_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB common CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB variant CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/variant/*.cpp)
  if(NOT common AND NOT variant)
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
    return()
  endif()
  add_library(${name} STATIC ${common})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  target_compile_options(${name} PRIVATE ${NORRIK_HOT_CODE_FLAGS})
  if(variant)
    foreach(v IN LISTS NORRIK_VARIANTS)
      add_library(${name}_${v} OBJECT ${variant})
      target_compile_definitions(${name}_${v} PRIVATE
        NORRIK_VARIANT=${v}_ NORRIK_VARIANT_NS=${v} NORRIK_VARIANT_ID=${NORRIK_VARIANT_ID_${v}})
      separate_arguments(flags UNIX_COMMAND "${NORRIK_VARIANT_FLAGS_${v}}")
      target_compile_options(${name}_${v} PRIVATE ${flags} ${NORRIK_HOT_CODE_FLAGS})
      target_sources(${name} PRIVATE $<TARGET_OBJECTS:${name}_${v}>)
    endforeach()
  endif()
endfunction()

# norrik_library(<name> [DEPENDS lib...]): a plain static library of the folder's sources, recursively.
function(norrik_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
  endif()
endfunction()
