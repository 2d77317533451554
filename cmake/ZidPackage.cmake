# The installed package: the shared libraries, the public headers, the resources, the
# examples and a CMake package configuration, so a host writes
#
#   find_package(Zidoredider REQUIRED [COMPONENTS Window Web])
#   target_link_libraries(app PRIVATE Zidoredider::Player [Zidoredider::Window] [Zidoredider::Web])
#
# Components: Player (always: libzidoredider.so, the facade and every library it needs),
# Window (libzidoredider-window.so, the desktop window host over SDL2 and Xlib), Web
# (libzidoredider-web.so, the real web engine over WebKitGTK). Hosts that do not use CMake
# read zidoredider.pc and zidoredider-window.pc / zidoredider-web.pc. The public headers
# include no header of a system library and the shared libraries link the system
# libraries themselves, so the package asks a host for no development package.

include(CMakePackageConfigHelpers)

set(ZID_PACKAGE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Zidoredider)
get_property(zid_libraries GLOBAL PROPERTY ZID_LIBRARIES)
get_property(zid_window_libraries GLOBAL PROPERTY ZID_WINDOW_LIBRARIES)
get_property(zid_web_libraries GLOBAL PROPERTY ZID_WEB_LIBRARIES)

# The libraries a host links: the module archives' objects as one shared library,
# libzidoredider.so (Zidoredider::Player, pkg-config zidoredider), and the window host and
# the web engine as shared libraries of their own above it (Zidoredider::Window and
# Zidoredider::Web), so a host that draws into pictures loads no SDL and one that shows no
# web page no GTK. Each links the system libraries it uses itself, by their sonames: a
# host's link line names these libraries only, and a machine with the system libraries'
# runtime packages alone links and runs it. The module archives stay the build tree's
# own (tests, tools, benchmarks); nothing installs them.
#
# What a library exports is given by a version script, written at each link from its
# objects' symbols (cmake/package/exports.py): the classes and enumerations the installed
# headers define (their members, type information, virtual tables, static locals) and the
# functions and variables they declare, and nothing else. Not the private implementations
# (a class a header only declares), not the file-local code, not the standard library's
# and the header-only libraries' instantiations (JSON, Boost.Asio), so they cannot clash
# with a host's own copies of other versions, and no symbol whose signature names another
# library's type (a drawing context, a JSON value): those functions stay the library's
# own, and a host, which has no such library's headers, could not call them anyway. The
# window host reaches the two drawing calls it needs through names of C linkage
# (platform/ui/src/WindowDrawing.h). The check package.exports_match_headers keeps it so.
# Calls inside a library bind to its own functions (-Bsymbolic-functions) instead of going
# through the procedure linkage table: without it the host process spent up to 17 % more
# CPU on a playback (docs/performance/package.md). The cost: an inline function of a
# public header that a host also compiles has two addresses, the host's and the library's,
# and a host cannot interpose the library's functions; nothing in the framework compares
# function addresses (its keys, method tables and signals hold objects and data), and
# data (static locals, type information, the classes' descriptions) stays one per process.
set(ZID_SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
find_program(ZID_PYTHON python3 REQUIRED)
set(ZID_EXPORTS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/package/exports.py)

# Public headers: each library's include/ folder (platform layers, modules, module parts).
set(zid_public_include_dirs)
foreach(lib ${zid_libraries} ${zid_window_libraries} ${zid_web_libraries})
  get_target_property(dirs ${lib} INTERFACE_INCLUDE_DIRECTORIES)
  foreach(dir ${dirs})
    if(dir MATCHES "^\\$<BUILD_INTERFACE:(.*)>$")
      list(APPEND zid_public_include_dirs ${CMAKE_MATCH_1})
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES zid_public_include_dirs)
set(zid_public_headers)
foreach(dir ${zid_public_include_dirs})
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${dir}/*.h)
  list(APPEND zid_public_headers ${headers})
endforeach()

# zid_shared_library(<target> <output-name> <export-name> PARTS <archives...> [LINK <libraries...>] [SYMBOLS <C symbols...>])
# A shared library made of the objects of PARTS, linking their private dependencies and
# LINK; it exports the installed headers' declarations its objects define, and the C
# SYMBOLS.
function(zid_shared_library target output export_name)
  cmake_parse_arguments(S "" "" "PARTS;LINK;SYMBOLS" ${ARGN})
  set(objects)
  set(private)
  set(includes)
  foreach(part ${S_PARTS})
    get_target_property(type ${part} TYPE)
    if(type STREQUAL "STATIC_LIBRARY")
      list(APPEND objects $<TARGET_OBJECTS:${part}>)
    endif()
    get_target_property(deps ${part} ZID_PRIVATE_DEPS)
    if(deps)
      list(APPEND private ${deps})
    endif()
    get_target_property(dirs ${part} INTERFACE_INCLUDE_DIRECTORIES)
    if(dirs)
      list(APPEND includes ${dirs})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES private)
  list(REMOVE_DUPLICATES includes)
  set(objects_file ${CMAKE_BINARY_DIR}/package/${output}.objects)
  file(GENERATE OUTPUT ${objects_file} CONTENT "$<JOIN:${objects},\n>\n")
  set(script_file ${CMAKE_BINARY_DIR}/package/${output}.map)
  set(symbols)
  if(S_SYMBOLS)
    set(symbols --symbol ${S_SYMBOLS})
  endif()
  add_custom_command(OUTPUT ${script_file}
                     COMMAND ${ZID_PYTHON} ${ZID_EXPORTS_SCRIPT} map --headers ${zid_public_include_dirs}
                             --objects ${objects_file} --out ${script_file} ${symbols}
                     DEPENDS ${objects} ${objects_file} ${ZID_EXPORTS_SCRIPT} ${zid_public_headers}
                     COMMENT "Listing what lib${output}.so exports" VERBATIM)
  add_library(${target} SHARED ${objects} ${script_file})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output} EXPORT_NAME ${export_name}
                        VERSION ${PROJECT_VERSION} SOVERSION ${ZID_SOVERSION}
                        LINK_DEPENDS ${script_file}
                        # The window and web libraries find the player's beside themselves.
                        INSTALL_RPATH "$ORIGIN")
  target_include_directories(${target} INTERFACE ${includes})
  target_compile_features(${target} INTERFACE cxx_std_20)
  target_link_libraries(${target} PRIVATE ${private} ${S_LINK})
  target_link_options(${target} PRIVATE "LINKER:--version-script=${script_file}" "LINKER:-Bsymbolic-functions")
  # Every symbol the objects use is found in a library the shared library names, so a
  # host needs nothing else. The sanitizers' runtimes are the program's, not the library's.
  if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    target_link_options(${target} PRIVATE "LINKER:--no-undefined")
  endif()
  add_library(Zidoredider::${export_name} ALIAS ${target})
endfunction()

# The C symbols the libraries export besides: the two drawing calls of the window host
# (platform/ui/src/WindowDrawing.h) and the web engine the player's web layer finds.
set(zid_player_c_symbols zid_ui_render_view_leaving_pictures zid_ui_redraw_pictures)
set(zid_web_c_symbols zid_web_real_engine)
zid_shared_library(zidoredider zidoredider Player PARTS ${zid_libraries} LINK Threads::Threads
                   SYMBOLS ${zid_player_c_symbols})
set(zid_component_targets zidoredider)
zid_shared_library(zidoredider_window zidoredider-window Window PARTS ${zid_window_libraries})
target_link_libraries(zidoredider_window PUBLIC zidoredider)
list(APPEND zid_component_targets zidoredider_window)
# Web: the real web engine, where the build has one; without it a web view tells its host
# at each load that the program has no web engine. The player's web layer reaches the
# engine through a weak reference, which a host that calls nothing in the web library
# does not make its linker keep: the package turns --as-needed off for a host that asks
# for it (pkg-config: around the one library).
if(zid_web_libraries)
  zid_shared_library(zidoredider_web zidoredider-web Web PARTS ${zid_web_libraries} SYMBOLS ${zid_web_c_symbols})
  target_link_libraries(zidoredider_web PUBLIC zidoredider)
  target_link_options(zidoredider_web INTERFACE "LINKER:--no-as-needed")
  list(APPEND zid_component_targets zidoredider_web)
endif()

install(TARGETS ${zid_component_targets} EXPORT ZidorediderTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT zid_libraries NAMELINK_COMPONENT zid_libraries)
install(EXPORT ZidorediderTargets NAMESPACE Zidoredider:: DESTINATION ${ZID_PACKAGE_CMAKE_DIR}
        COMPONENT zid_libraries)
# The installed libraries and the engine program carry no debug information: it would
# name the folders they were compiled in (this checkout, or another one the compiler cache
# took an object from), and an installed build names no checkout.
set(zid_installed_files)
foreach(lib ${zid_component_targets})
  list(APPEND zid_installed_files "${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:${lib}>")
endforeach()
list(APPEND zid_installed_files "${ZID_MEDIA_ENGINE_INSTALL_SUBDIR}/$<TARGET_FILE_NAME:zid_media_engine>")
install(CODE "
  foreach(file ${zid_installed_files})
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${file}\"
                    RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR \"stripping the debug information of \${file} failed\")
    endif()
  endforeach()" COMPONENT zid_libraries)

# Public headers: each library's include/ folder.
foreach(dir ${zid_public_include_dirs})
  install(DIRECTORY ${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
          COMPONENT zid_headers FILES_MATCHING PATTERN "*.h")
endforeach()

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/package/ZidorediderConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/package/ZidorediderConfig.cmake
                              INSTALL_DESTINATION ${ZID_PACKAGE_CMAKE_DIR}
                              PATH_VARS CMAKE_INSTALL_DATADIR CMAKE_INSTALL_LIBDIR ZID_MEDIA_ENGINE_INSTALL_SUBDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/ZidorediderConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/ZidorediderConfig.cmake
              ${CMAKE_BINARY_DIR}/package/ZidorediderConfigVersion.cmake
        DESTINATION ${ZID_PACKAGE_CMAKE_DIR} COMPONENT zid_libraries)

# pkg-config: one file per component.
set(zid_pc_files zidoredider zidoredider-window)
if(zid_web_libraries)
  list(APPEND zid_pc_files zidoredider-web)
endif()
foreach(pc ${zid_pc_files})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/package/${pc}.pc.in ${CMAKE_BINARY_DIR}/package/${pc}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/package/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
          COMPONENT zid_libraries)
endforeach()

# The header check is about what a host's compiler sees, not about run time: a sanitizer
# build leaves it to the plain one.
if(ZID_BUILD_TESTS AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  # The checks that compile (label compile_heavy) build on every core for minutes: beside
  # the rest of the suite on two cores they got too little of the machine to end within
  # their limits, and took from tests timed in real time. They run alone (RUN_SERIAL), and
  # scripts/test.sh runs them after the suite, one at a time. Their limits leave about
  # three times what each took alone on two cores with an empty compiler cache, those two
  # shared with other builds (docs/CI.md).
  set(zid_compile_heavy "package;compile_heavy")
  # Every installed public header compiles on its own with only the package's flags:
  # install into a scratch prefix, then configure and build a project that includes
  # each header in a translation unit of its own.
  add_test(NAME package.public_headers_stand_alone
           COMMAND ${CMAKE_COMMAND}
                   -DBUILD_DIR=${CMAKE_BINARY_DIR}
                   -DWORK_DIR=${CMAKE_BINARY_DIR}/package-check
                   -DCHECK_SOURCE_DIR=${CMAKE_CURRENT_LIST_DIR}/package/headercheck
                   -DGENERATOR=${CMAKE_GENERATOR}
                   -DCXX=${CMAKE_CXX_COMPILER}
                   -DLAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
                   -P ${CMAKE_CURRENT_LIST_DIR}/package/HeaderCheck.cmake)
  set_tests_properties(package.public_headers_stand_alone PROPERTIES RUN_SERIAL TRUE LABELS "${zid_compile_heavy}" TIMEOUT 1800)
  # What the shared libraries export is what the installed headers declare: no class or
  # function of a private header, no other library's type in a signature.
  set(libraries)
  foreach(lib ${zid_component_targets})
    list(APPEND libraries $<TARGET_FILE:${lib}>)
  endforeach()
  add_test(NAME package.exports_match_headers
           COMMAND ${ZID_PYTHON} ${ZID_EXPORTS_SCRIPT} check --headers ${zid_public_include_dirs}
                   --library ${libraries} --symbol ${zid_player_c_symbols} ${zid_web_c_symbols})
  set_tests_properties(package.exports_match_headers PROPERTIES LABELS package TIMEOUT 120)
  # Every function the installed headers declare links: a host program taking the
  # address of each one only the libraries define, and of what their inline functions
  # use, links against the installed package. The declarations are read by clang (its
  # syntax tree), not by the scanner that writes the export list, so a rule of that
  # scanner that misses a declaration fails here.
  find_program(ZID_CLANGXX NAMES clang++ clang++-14)
  if(ZID_CLANGXX)
    add_test(NAME package.declarations_link
             COMMAND ${CMAKE_COMMAND}
                     -DBUILD_DIR=${CMAKE_BINARY_DIR}
                     -DWORK_DIR=${CMAKE_BINARY_DIR}/link-check
                     -DCHECK_SOURCE_DIR=${CMAKE_CURRENT_LIST_DIR}/package/linkcheck
                     -DGENERATOR=${CMAKE_GENERATOR}
                     -DCXX=${CMAKE_CXX_COMPILER}
                     -DCLANG=${ZID_CLANGXX}
                     -DPYTHON=${ZID_PYTHON}
                     -DSCRIPT=${CMAKE_CURRENT_LIST_DIR}/package/declarations.py
                     -P ${CMAKE_CURRENT_LIST_DIR}/package/LinkCheck.cmake)
    set_tests_properties(package.declarations_link PROPERTIES RUN_SERIAL TRUE LABELS "${zid_compile_heavy}" TIMEOUT 600)
    # Every public method of every main-thread-only class the installed headers declare,
    # called from a thread of the host's, is refused with the thread error and changes
    # nothing: the sweep is written from the headers, so a method added later is swept too.
    add_test(NAME package.thread_rule_sweep
             COMMAND ${CMAKE_COMMAND}
                     -DBUILD_DIR=${CMAKE_BINARY_DIR}
                     -DWORK_DIR=${CMAKE_BINARY_DIR}/thread-sweep
                     -DCHECK_SOURCE_DIR=${CMAKE_CURRENT_LIST_DIR}/package/threadsweep
                     -DGENERATOR=${CMAKE_GENERATOR}
                     -DLAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
                     -DCLANG=${ZID_CLANGXX}
                     -DPYTHON=${ZID_PYTHON}
                     -DSCRIPT=${CMAKE_CURRENT_LIST_DIR}/package/thread_sweep.py
                     -P ${CMAKE_CURRENT_LIST_DIR}/package/ThreadSweep.cmake)
    set_tests_properties(package.thread_rule_sweep PROPERTIES RUN_SERIAL TRUE LABELS "${zid_compile_heavy}" TIMEOUT 1200)
  else()
    message(WARNING "clang++ not found: the check that every declaration of the installed headers links and the thread sweep are left out")
  endif()
  # The host's guide compiles: its snippets and the names of its text, against the
  # installed headers, with the headers it names.
  add_test(NAME package.HostGuide_compiles
           COMMAND ${ZID_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/package/host_guide.py
                   --guide ${CMAKE_SOURCE_DIR}/docs/HOST_GUIDE.md --cxx ${CMAKE_CXX_COMPILER}
                   --work ${CMAKE_BINARY_DIR}/host-guide-check --install ${CMAKE_BINARY_DIR} --cmake ${CMAKE_COMMAND})
  set_tests_properties(package.HostGuide_compiles PROPERTIES RUN_SERIAL TRUE LABELS "${zid_compile_heavy}" TIMEOUT 120)
endif()
