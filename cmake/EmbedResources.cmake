# tavo_embed_resources(TARGET <lib> ENTRIES <type> <name> <file> ...)
#
# Embeds files into the program as resources keyed by (type, name), found at
# run time with Tavo::Platform::FindResource. The generated table is an object
# library whose objects are linked into every program that links <lib>, so a
# static <lib> cannot drop the registration.

set(TAVO_EMBED_RESOURCES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedResourcesScript.cmake)

function(tavo_embed_resources)
  cmake_parse_arguments(A "" "TARGET" "ENTRIES" ${ARGN})
  if(NOT A_TARGET)
    message(FATAL_ERROR "tavo_embed_resources: TARGET missing")
  endif()
  list(LENGTH A_ENTRIES n)
  math(EXPR rest "${n} % 3")
  if(n EQUAL 0 OR NOT rest EQUAL 0)
    message(FATAL_ERROR "tavo_embed_resources: ENTRIES takes <type> <name> <file> triples")
  endif()

  set(spec)
  set(files)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 0 ${last} 3)
    math(EXPR j "${i} + 1")
    math(EXPR k "${i} + 2")
    list(GET A_ENTRIES ${i} type)
    list(GET A_ENTRIES ${j} name)
    list(GET A_ENTRIES ${k} file)
    get_filename_component(file ${file} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND spec "${type}|${name}|${file}")
    list(APPEND files ${file})
  endforeach()
  string(REPLACE ";" "<>" spec "${spec}")

  set(out ${CMAKE_CURRENT_BINARY_DIR}/${A_TARGET}_resources.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} "-DOUTPUT=${out}" "-DENTRIES=${spec}" -P ${TAVO_EMBED_RESOURCES_SCRIPT}
    DEPENDS ${files} ${TAVO_EMBED_RESOURCES_SCRIPT}
    COMMENT "Embedding resources of ${A_TARGET}"
    VERBATIM)

  add_library(${A_TARGET}_resources OBJECT ${out})
  target_link_libraries(${A_TARGET}_resources PRIVATE tavo_options)
  target_sources(${A_TARGET} INTERFACE $<TARGET_OBJECTS:${A_TARGET}_resources>)
  target_link_libraries(${A_TARGET} PUBLIC tavo_platform_kernel)
endfunction()
