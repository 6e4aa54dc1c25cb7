# Shared build helpers. Each source area owns a CMakeLists.txt of its own;
# folders without one are walked so that areas can nest freely.

option(TAVO_SANITIZE "Sanitizers: address, thread or empty" "")

add_library(tavo_options INTERFACE)
target_compile_options(tavo_options INTERFACE -Wall -Wextra -Werror)
# Everything includes from the root ("Platform/...", "tools/..."); the
# framework's and the program's own folders come with their libraries, so a
# layer sees only the headers of what it links.
target_include_directories(tavo_options INTERFACE ${CMAKE_SOURCE_DIR})
target_link_libraries(tavo_options INTERFACE Threads::Threads)

if(TAVO_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
elseif(TAVO_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Adds every sub-folder below DIR that has a CMakeLists.txt; folders without
# one are searched further down.
function(tavo_add_subdirectories dir)
  if(EXISTS ${dir}/CMakeLists.txt AND NOT dir STREQUAL CMAKE_CURRENT_SOURCE_DIR)
    add_subdirectory(${dir})
    return()
  endif()
  file(GLOB children LIST_DIRECTORIES true ${dir}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${child})
      tavo_add_subdirectories(${child})
    endif()
  endforeach()
endfunction()

# The include folder a library of the framework or of the program brings to
# whatever links it.
function(tavo_area_includes name)
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  if(rel MATCHES "^TavoFramework")
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/TavoFramework)
  elseif(rel MATCHES "^FirmwareUpdater")
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/FirmwareUpdater)
  endif()
endfunction()

# tavo_library(NAME [SHARED] SOURCES ... DEPS ...)
function(tavo_library name)
  cmake_parse_arguments(A "SHARED" "" "SOURCES;DEPS" ${ARGN})
  if(A_SHARED)
    add_library(${name} SHARED ${A_SOURCES})
  else()
    add_library(${name} STATIC ${A_SOURCES})
  endif()
  target_link_libraries(${name} PUBLIC tavo_options ${A_DEPS})
  tavo_area_includes(${name})
endfunction()

# Every suite labelled "threads": the ThreadSanitizer build makes only these.
add_custom_target(tavo_threads_tests)

# tavo_test(NAME SOURCES ... DEPS ... [LABELS ...])
# Label "threads" marks suites that also run under ThreadSanitizer.
function(tavo_test name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE tavo_options ${A_DEPS} GTest::gmock GTest::gtest_main)
  # ctest starts it (and lists its tests) through tavo_clean_env, so no test
  # sees more of the caller's environment than the clean list of
  # tests/Common/CleanEnvironment.h and the ENVIRONMENT below. The emulator
  # property is how gtest_discover_tests takes a launcher.
  set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR $<TARGET_FILE:tavo_clean_env>)
  add_dependencies(${name} tavo_clean_env)
  set(props TIMEOUT 300 ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
  if(A_LABELS)
    list(APPEND props LABELS "${A_LABELS}")
  endif()
  if("threads" IN_LIST A_LABELS)
    add_dependencies(tavo_threads_tests ${name})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()

# tavo_bench(NAME SOURCES ... DEPS ...)
function(tavo_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE tavo_options ${A_DEPS} benchmark::benchmark)
endfunction()

# tavo_glob_library(NAME DIRS ... [EXCLUDE regex] DEPS ...)
# A static library of every .cpp file directly inside the listed folders
# (relative to the calling CMakeLists.txt). New files are picked up at the
# next build; an area with no sources yet still yields a valid target.
function(tavo_glob_library name)
  cmake_parse_arguments(A "" "EXCLUDE" "DIRS;PATTERNS;DEPS" ${ARGN})
  set(srcs)
  foreach(d ${A_DIRS})
    file(GLOB s CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.cpp)
    list(APPEND srcs ${s})
  endforeach()
  foreach(p ${A_PATTERNS})
    file(GLOB s CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${p})
    list(APPEND srcs ${s})
  endforeach()
  if(A_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${A_EXCLUDE}")
  endif()
  set(stub ${CMAKE_CURRENT_BINARY_DIR}/${name}_stub.cpp)
  if(NOT EXISTS ${stub})
    file(WRITE ${stub} "// keeps an area without sources a valid library\n")
  endif()
  add_library(${name} STATIC ${srcs} ${stub})
  target_link_libraries(${name} PUBLIC tavo_options ${A_DEPS})
  tavo_area_includes(${name})
endfunction()

include(EmbedResources)
