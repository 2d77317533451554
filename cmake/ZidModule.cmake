# Helpers that keep every module built the same way: one library per module,
# sources found under the module's folder, warnings as errors in our own code.

set(ZID_WARNINGS -Wall -Wextra -Werror -Wno-missing-field-initializers)

# Most of a source's compile time goes to the standard library's C++20 headers (and, in
# tests, GoogleTest's), which nearly every source includes: each target precompiles them
# once. The compiler cache reuses the precompiled header like any other output.
option(ZID_PCH "Precompile the standard headers every source includes" ON)
set(ZID_PCH_HEADERS <algorithm> <atomic> <chrono> <cstdint> <functional> <map> <memory> <mutex>
    <optional> <set> <string> <string_view> <unordered_map> <utility> <variant> <vector>)
# A build from nothing (CI on a new machine) spends most of its time compiling the same
# headers' inline code once per source: ZID_UNITY compiles each target's sources in
# batches instead. Off for everyday work, where one edit should recompile one file.
# Sources are written to stand in a batch: no two files of one target give file-local
# helpers the same name. By default a target's sources make one batch: against batches
# of eight, a default build from nothing took 22 % less compiler time (the headers'
# inline code is compiled once per target), and there are enough targets to keep two
# cores busy. ZID_UNITY_BATCH sets another size.
option(ZID_UNITY "Compile each target's sources in batches" OFF)
set(ZID_UNITY_BATCH 0 CACHE STRING "Sources per batch when ZID_UNITY is on (0: a target's sources make one batch)")

# The batches are written here rather than by CMake's own unity build, which names each
# source by its absolute path: the compiler cache hashes a batch's text, so a clone in
# another folder (CI's) would miss on every batch. A batch names its sources relative to
# itself, and the cache rewrites the batch's own path, so every clone hashes the same text.
# Written once every target has all its sources and their properties (a deferred call at
# the end of the top folder); a source with flags of its own compiles alone.
function(zid_write_batches)
  get_property(targets GLOBAL PROPERTY ZID_BATCHED_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(batched ${target} ZID_BATCHES)
    if(NOT batched)
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    get_target_property(source_dir ${target} SOURCE_DIR)
    get_target_property(binary_dir ${target} BINARY_DIR)
    set(members)
    foreach(src IN LISTS sources)
      if(NOT src MATCHES "\\.cpp$")
        continue()
      endif()
      cmake_path(ABSOLUTE_PATH src BASE_DIRECTORY ${source_dir} NORMALIZE OUTPUT_VARIABLE path)
      set(own_flags FALSE)
      foreach(property COMPILE_OPTIONS COMPILE_DEFINITIONS COMPILE_FLAGS INCLUDE_DIRECTORIES GENERATED HEADER_FILE_ONLY)
        get_source_file_property(value ${path} TARGET_DIRECTORY ${target} ${property})
        if(value)
          set(own_flags TRUE)
        endif()
      endforeach()
      if(NOT own_flags)
        list(APPEND members ${path})
      endif()
    endforeach()
    set(dir ${binary_dir}/zid_batches/${target})
    set(batches)
    set(text)
    set(count 0)
    list(LENGTH members total)
    foreach(path IN LISTS members)
      file(RELATIVE_PATH relative ${dir} ${path})
      string(APPEND text "#include \"${relative}\"\n")
      math(EXPR count "${count} + 1")
      set(left 1)
      if(ZID_UNITY_BATCH GREATER 0)
        math(EXPR left "${count} % ${ZID_UNITY_BATCH}")
      endif()
      if(left EQUAL 0 OR count EQUAL total)
        list(LENGTH batches index)
        set(batch ${dir}/batch_${index}.cpp)
        # Rewritten only when its text changes, so a new configure recompiles nothing.
        file(CONFIGURE OUTPUT ${batch} CONTENT "/* Sources of ${target} compiled as one unit. */\n${text}" @ONLY)
        list(APPEND batches ${batch})
        set(text)
      endif()
    endforeach()
    if(batches)
      target_sources(${target} PRIVATE ${batches})
      set_source_files_properties(${members} TARGET_DIRECTORY ${target} PROPERTIES HEADER_FILE_ONLY ON)
    endif()
  endforeach()
endfunction()
if(ZID_UNITY)
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} ID zid_write_batches CALL zid_write_batches)
endif()

function(zid_precompile target)
  if(ZID_UNITY)
    set_target_properties(${target} PROPERTIES ZID_BATCHES ON)
    set_property(GLOBAL APPEND PROPERTY ZID_BATCHED_TARGETS ${target})
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      # A class deriving from a file-local type (a test's fixture) is reported once
      # the file is part of a batch; the batch is still one translation unit.
      target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
    endif()
  endif()
  # In batches a header is read once per batch anyway, and precompiling it once
  # per target (nearly fifty targets) cost more than it saved: a default build from
  # nothing took 15 % less compiler time without. Clang records the clone's absolute
  # folder in its precompiled header besides, so a clone in another folder (CI's) would
  # miss in the compiler cache on every source that used one.
  if(ZID_PCH AND NOT ZID_UNITY)
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
# except those below the EXCLUDE folders: a part of a module built as a library of its
# own (QXFoundation's logging core below it, RuzEzo's interface signals above it).
# INCLUDE is the public header folder (installed as include/); the module's src/ folder
# holds its private headers, seen by its own sources and its tests only. DEPS are what
# the public headers need; a system library that only the sources use goes in
# PRIVATE_DEPS, so a host of the installed package links it without seeing its headers.
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
    target_include_directories(${target} INTERFACE $<BUILD_INTERFACE:${M_INCLUDE}> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
    set_property(GLOBAL APPEND PROPERTY ZID_LIBRARIES ${target})
    target_link_libraries(${target} INTERFACE ${M_DEPS})
    return()
  endif()
  add_library(${target} STATIC ${srcs})
  # Installed beside other libraries: a name of our own (libzid_net.a, not libnet.a).
  set_target_properties(${target} PROPERTIES OUTPUT_NAME zid_${target})
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${M_INCLUDE}> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/src)
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
    set_property(TARGET ${target} PROPERTY ZID_PRIVATE_INCLUDE ${CMAKE_CURRENT_SOURCE_DIR}/src)
  endif()
  set_property(GLOBAL APPEND PROPERTY ZID_LIBRARIES ${target})
  target_compile_options(${target} PRIVATE ${ZID_WARNINGS} ${ZID_LIBRARY_COVERAGE})
  # Private dependencies are the build's own business: the installed package names only
  # their runtime libraries (cmake/ZidPackage.cmake), never their development packages.
  set(private)
  foreach(dep ${M_PRIVATE_DEPS})
    list(APPEND private $<BUILD_INTERFACE:${dep}>)
  endforeach()
  target_link_libraries(${target} PUBLIC ${M_DEPS} PRIVATE ${private})
  zid_precompile(${target})
  set_property(TARGET ${target} PROPERTY ZID_PRIVATE_DEPS ${M_PRIVATE_DEPS})
endfunction()

# The fuzz targets' coverage instrumentation (the sanitizer build sets it): only the
# libraries carry it, as only their code is fuzzed. On the tests' unoptimized sources it
# took a quarter of their compile time.
set(ZID_LIBRARY_COVERAGE "" CACHE STRING "Coverage instrumentation of the libraries' sources, for the fuzz targets")

# The test sources themselves need little optimization (the libraries they test are built
# as the preset says): in the optimized build they compile at a level of their own, which
# takes a third less compiler time than -O2.
set(ZID_TEST_OPTIMIZE "" CACHE STRING "Optimization option of test sources (empty: the build type's)")
# The loopback peers are test servers too: the sanitizer build compiles them unoptimized,
# which takes less than half the compiler time of -O1 on their WebSocket and HTTP code.
set(ZID_PEERS_OPTIMIZE "" CACHE STRING "Optimization option of the loopback peers' sources (empty: the build type's)")
# The WebSocket client's I/O instantiates the WebSocket library's asynchronous operations
# over a plain and an encrypted stream: clang with the sanitizers spends four minutes on
# it at -O1 and one at -O0. The sanitizer build compiles that one source unoptimized; the
# little traffic the tests send through it does not notice.
set(ZID_WEBSOCKET_IO_OPTIMIZE "" CACHE STRING "Optimization option of the WebSocket client's I/O source (empty: the build type's)")

# zid_real_web_engine(<target>)
# Links the real web engine (WebKitGTK) into a program of the build tree where this build
# has one; without it the program's web views say that no engine can start.
function(zid_real_web_engine target)
  target_link_libraries(${target} PRIVATE $<TARGET_NAME_IF_EXISTS:webengine>)
endfunction()

# zid_test(<target> LABEL <label> LIBS <targets...> [MEDIA_ENGINE] [WEB_ENGINE] [RESOURCE_LOCK <name>]
#          [EXCLUDE <regex>])
# One test binary per module; every .cpp below the current dir is part of it.
# MEDIA_ENGINE: the binary drives the real media engine, so each test runs through
# scripts/engine-test.sh, which reruns a test only on the engine's known seek abort.
# RESOURCE_LOCK: its tests share something of the machine (the X server's pointer and
# keyboard) and never run at the same time as one another.
# WEB_ENGINE: some of its tests load pages in the real web engine.
# EXCLUDE: sources whose path matches are left out (a folder with a test binary of its own).
function(zid_test target)
  cmake_parse_arguments(T "MEDIA_ENGINE;WEB_ENGINE" "LABEL;RESOURCE_LOCK;EXCLUDE" "LIBS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(T_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${T_EXCLUDE}")
  endif()
  if(NOT srcs)
    return()  # a module whose tests are still to come
  endif()
  add_executable(${target} ${srcs})
  target_compile_options(${target} PRIVATE ${ZID_WARNINGS} ${ZID_TEST_OPTIMIZE})
  target_link_libraries(${target} PRIVATE ${T_LIBS} zid_test_main GTest::gtest GTest::gmock)
  zid_precompile(${target} <gtest/gtest.h> <gmock/gmock.h>)
  if(T_WEB_ENGINE)
    zid_real_web_engine(${target})
  endif()
  # A module's tests see what its sources see: its private headers and the system
  # libraries it uses privately.
  zid_private_headers(${target} ${T_LIBS})
  if(T_MEDIA_ENGINE)
    set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/engine-test.sh)
  endif()
  # Real playback goes through the engine program by default: a test binary that links
  # the media layer finds this build's. One that does not (the run loop's, the tasks')
  # does not wait for it, nor does a build of only such tests (the ThreadSanitizer run).
  zid_links_to(${target} media plays)
  if(plays)
    add_dependencies(${target} zid_media_engine)
  endif()
  set(lock)
  if(T_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
  gtest_discover_tests(${target}
    PROPERTIES LABELS ${T_LABEL} ${lock}
    DISCOVERY_TIMEOUT 60)
endfunction()

# zid_links_to(<target> <library> <result>)
# Sets <result> to TRUE when <target> links <library>, itself or through the libraries it
# links (as far as they are defined so far), FALSE otherwise.
function(zid_links_to target library result)
  set(queue ${target})
  set(seen)
  while(queue)
    list(POP_FRONT queue current)
    string(REGEX REPLACE "^\\$<(LINK_ONLY|BUILD_INTERFACE):(.*)>$" "\\2" current "${current}")
    if(current STREQUAL library)
      set(${result} TRUE PARENT_SCOPE)
      return()
    endif()
    if(current IN_LIST seen OR NOT TARGET ${current})
      continue()
    endif()
    list(APPEND seen ${current})
    get_target_property(imported ${current} IMPORTED)
    get_target_property(links ${current} LINK_LIBRARIES)
    if(NOT imported AND links)
      list(APPEND queue ${links})
    endif()
  endwhile()
  set(${result} FALSE PARENT_SCOPE)
endfunction()

# zid_private_headers(<target> <modules...>)
# An in-tree program that works with a module's internals (the demo, which stands in for
# the player facade, a benchmark, a fuzz target) sees the module's private headers.
function(zid_private_headers target)
  foreach(lib ${ARGN})
    if(NOT TARGET ${lib})
      continue()
    endif()
    get_target_property(type ${lib} TYPE)
    if(NOT type STREQUAL "STATIC_LIBRARY")
      continue()
    endif()
    get_target_property(dir ${lib} ZID_PRIVATE_INCLUDE)
    if(dir)
      target_include_directories(${target} PRIVATE ${dir})
    endif()
    get_target_property(deps ${lib} ZID_PRIVATE_DEPS)
    if(NOT deps)
      continue()
    endif()
    foreach(dep ${deps})
      # Only in the build tree: an installed library names their runtime libraries only.
      target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:${dep}>)
    endforeach()
  endforeach()
endfunction()

# zid_source_definitions(<target> <NAME=value>...)
# Definitions that hold paths of this checkout (fixtures, golden pictures, resources) go
# only to the target's sources that name them: the compiler cache hashes definitions as
# they are, so a clone in another folder would otherwise rebuild every source of the
# target instead of the one or two that read the path.
function(zid_source_definitions target)
  get_target_property(srcs ${target} SOURCES)
  get_target_property(dir ${target} SOURCE_DIR)
  foreach(def ${ARGN})
    string(REGEX REPLACE "=.*" "" name "${def}")
    foreach(src ${srcs})
      if(NOT IS_ABSOLUTE "${src}")
        set(src "${dir}/${src}")
      endif()
      if(NOT src MATCHES "\\.(cpp|cc|c)$")
        continue()
      endif()
      file(STRINGS "${src}" uses REGEX "${name}" LIMIT_COUNT 1)
      if(uses)
        set_property(SOURCE "${src}" TARGET_DIRECTORY ${target} APPEND PROPERTY COMPILE_DEFINITIONS "${def}")
      endif()
    endforeach()
  endforeach()
endfunction()

# zid_test_paths(<target> <key>=<value>...)
# Paths of this checkout or build that a test reads (golden pictures, a corpus folder, a
# helper program: a value may be a generator expression such as $<TARGET_FILE:...>) are
# written beside the test binary, "<binary>.paths", one key=value a line, and read at run
# time (zidtest::testPath in tests/support). Compiled in as definitions they would make
# every source that reads one miss the compiler cache in a clone in another folder.
# May be called more than once for a target; a key named twice keeps its last value.
function(zid_test_paths target)
  get_target_property(written ${target} ZID_TEST_PATHS_WRITTEN)
  if(NOT written)
    set_target_properties(${target} PROPERTIES ZID_TEST_PATHS_WRITTEN ON)
    set(entries "$<TARGET_GENEX_EVAL:${target},$<TARGET_PROPERTY:${target},ZID_TEST_PATHS>>")
    file(GENERATE OUTPUT "$<TARGET_FILE:${target}>.paths" CONTENT "$<JOIN:${entries},\n>\n" TARGET ${target})
  endif()
  foreach(entry ${ARGN})
    if(NOT entry MATCHES "^[A-Za-z0-9_]+=.")
      message(FATAL_ERROR "zid_test_paths(${target}): \"${entry}\" is not <key>=<value>")
    endif()
    set_property(TARGET ${target} APPEND PROPERTY ZID_TEST_PATHS "${entry}")
  endforeach()
endfunction()
