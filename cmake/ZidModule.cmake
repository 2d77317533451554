# Helpers that keep every module built the same way: one library per module,
# sources found under the module's folder, warnings as errors in our own code.

set(ZID_WARNINGS -Wall -Wextra -Werror -Wno-missing-field-initializers)

# Most of a source's compile time goes to the standard library's C++20 headers (and, in
# tests, GoogleTest's), which nearly every source includes: each target precompiles them
# once. The compiler cache reuses the precompiled header like any other output.
option(ZID_PCH "Precompile the standard headers every source includes" ON)
set(ZID_PCH_HEADERS <algorithm> <atomic> <chrono> <cstdint> <functional> <map> <memory> <mutex>
    <optional> <set> <string> <string_view> <unordered_map> <utility> <variant> <vector>)
function(zid_precompile target)
  if(ZID_PCH)
    target_precompile_headers(${target} PRIVATE ${ZID_PCH_HEADERS} ${ARGN})
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      # GCC 12 reports its own standard library's inlined string code as out of bounds
      # (false positives it keeps quiet about in system headers, but not when those
      # headers come from a precompiled header). The sanitizer build checks bounds for real.
      target_compile_options(${target} PRIVATE -Wno-array-bounds -Wno-stringop-overflow -Wno-stringop-overread -Wno-restrict)
    endif()
  endif()
endfunction()

# zid_module(<target> [INCLUDE <dir>] [EXCLUDE <subdirs...>] [DEPS <targets...>] [PRIVATE_DEPS <targets...>])
# Compiles every .cpp below the current source dir (tests and benches live elsewhere),
# except those below the EXCLUDE folders: a lower part of a module built as a library
# of its own (QXFoundation's logging core), which the module then lists in DEPS.
function(zid_module target)
  cmake_parse_arguments(M "" "INCLUDE" "EXCLUDE;DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(dir ${M_EXCLUDE})
    set(excluded ${CMAKE_CURRENT_SOURCE_DIR}/${dir})
    set(kept)
    foreach(src ${srcs})
      cmake_path(IS_PREFIX excluded ${src} NORMALIZE inside)
      if(NOT inside)
        list(APPEND kept ${src})
      endif()
    endforeach()
    set(srcs ${kept})
  endforeach()
  if(NOT M_INCLUDE)
    set(M_INCLUDE ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  if(NOT srcs)
    # A module whose first sources are still to come: headers only for now.
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${M_INCLUDE})
    target_link_libraries(${target} INTERFACE ${M_DEPS})
    return()
  endif()
  add_library(${target} STATIC ${srcs})
  target_include_directories(${target} PUBLIC ${M_INCLUDE})
  target_compile_options(${target} PRIVATE ${ZID_WARNINGS})
  target_link_libraries(${target} PUBLIC ${M_DEPS} PRIVATE ${M_PRIVATE_DEPS})
  zid_precompile(${target})
endfunction()

# zid_test(<target> LABEL <label> LIBS <targets...> [MEDIA_ENGINE])
# One test binary per module; every .cpp below the current dir is part of it.
# MEDIA_ENGINE: the binary drives the real media engine, so each test runs through
# scripts/engine-test.sh, which reruns a test only on the engine's known seek abort.
function(zid_test target)
  cmake_parse_arguments(T "MEDIA_ENGINE" "LABEL" "LIBS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT srcs)
    return()  # a module whose tests are still to come
  endif()
  add_executable(${target} ${srcs})
  target_compile_options(${target} PRIVATE ${ZID_WARNINGS})
  target_link_libraries(${target} PRIVATE ${T_LIBS} zid_test_main GTest::gtest GTest::gmock)
  zid_precompile(${target} <gtest/gtest.h> <gmock/gmock.h>)
  if(T_MEDIA_ENGINE)
    set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/engine-test.sh)
  endif()
  gtest_discover_tests(${target}
    PROPERTIES LABELS ${T_LABEL}
    DISCOVERY_TIMEOUT 60)
endfunction()
