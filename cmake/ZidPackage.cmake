# The installed package: every module library, the public headers, the resources and a
# CMake package configuration, so a host writes
#
#   find_package(Zidoredider REQUIRED [COMPONENTS Window Web])
#   target_link_libraries(app PRIVATE Zidoredider::Player [Zidoredider::Window] [Zidoredider::Web])
#
# Components: Player (always: the facade and every library it needs), Window (the desktop
# window host, over SDL2 and Xlib), Web (the real web engine, over WebKitGTK). Hosts that
# do not use CMake read zidoredider.pc and zidoredider-window.pc / zidoredider-web.pc.
# The public headers include no header of a system library, so the package asks a host for
# no development package: the system libraries the sources use travel as the names of
# their runtime libraries (-lgstreamer-1.0, not gstreamer-1.0.pc), header-only ones not
# at all.

include(CMakePackageConfigHelpers)

set(ZID_PACKAGE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Zidoredider)
get_property(zid_libraries GLOBAL PROPERTY ZID_LIBRARIES)
get_property(zid_window_libraries GLOBAL PROPERTY ZID_WINDOW_LIBRARIES)
get_property(zid_web_libraries GLOBAL PROPERTY ZID_WEB_LIBRARIES)

# zid_runtime_libraries(<out> <link items...>)
# The runtime libraries behind link items, as names the linker searches for: an imported
# library's file (/usr/lib/.../libcairo.so gives cairo) and what it links in turn;
# header-only targets give nothing. Threads::Threads stays: the configuration finds it
# again, and it needs no package.
function(zid_runtime_libraries out)
  set(result)
  foreach(item ${ARGN})
    if(item MATCHES "^\\$<LINK_ONLY:(.*)>$")
      set(item "${CMAKE_MATCH_1}")
    endif()
    if(item STREQUAL "Threads::Threads")
      list(APPEND result ${item})
    elseif(TARGET ${item})
      get_target_property(type ${item} TYPE)
      if(NOT type STREQUAL "INTERFACE_LIBRARY")
        get_target_property(configs ${item} IMPORTED_CONFIGURATIONS)
        set(suffixes "")
        foreach(config ${configs})
          string(TOUPPER "_${config}" config)
          list(APPEND suffixes ${config})
        endforeach()
        foreach(config "" ${suffixes})
          get_target_property(location ${item} IMPORTED_LOCATION${config})
          if(location)
            zid_runtime_libraries(names ${location})
            list(APPEND result ${names})
            break()
          endif()
        endforeach()
      endif()
      get_target_property(deps ${item} INTERFACE_LINK_LIBRARIES)
      if(deps)
        zid_runtime_libraries(names ${deps})
        list(APPEND result ${names})
      endif()
    elseif(item MATCHES "/lib([^/]+)\\.(so|a)(\\.[0-9.]+)?$")
      list(APPEND result ${CMAKE_MATCH_1})
    elseif(item MATCHES "^-" OR NOT item MATCHES "[$<>/:]")
      list(APPEND result ${item})  # -pthread, dl
    endif()
  endforeach()
  list(REMOVE_DUPLICATES result)
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# zid_package_libraries(<pc-libs-out> <libraries...>)
# Gives each library's exported link interface the runtime libraries of its private
# dependencies, and the pkg-config Libs of the libraries: theirs from the top down, then
# those runtime libraries.
function(zid_package_libraries out)
  set(own)
  set(runtime)
  foreach(lib ${ARGN})
    get_target_property(deps ${lib} ZID_PRIVATE_DEPS)
    if(deps)
      zid_runtime_libraries(names ${deps})
      target_link_libraries(${lib} INTERFACE $<INSTALL_INTERFACE:${names}>)
      list(APPEND runtime ${names})
    endif()
    get_target_property(type ${lib} TYPE)
    if(type STREQUAL "STATIC_LIBRARY")
      get_target_property(name ${lib} OUTPUT_NAME)
      list(PREPEND own "-l${name}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES runtime)
  list(TRANSFORM runtime REPLACE "^Threads::Threads$" "-pthread")
  list(TRANSFORM runtime PREPEND "-l" REGEX "^[^-]")
  list(JOIN own " " own)
  list(JOIN runtime " " runtime)
  set(${out} "${own} ${runtime}" PARENT_SCOPE)
endfunction()

zid_package_libraries(ZID_PC_LIBS ${zid_libraries})
zid_package_libraries(ZID_PC_WINDOW_LIBS ${zid_window_libraries})
zid_package_libraries(ZID_PC_WEB_LIBS ${zid_web_libraries})

# The component targets a host links. Player: every module library.
add_library(zid_player INTERFACE)
set_target_properties(zid_player PROPERTIES EXPORT_NAME Player)
target_link_libraries(zid_player INTERFACE ${zid_libraries})
target_compile_features(zid_player INTERFACE cxx_std_20)
add_library(Zidoredider::Player ALIAS zid_player)
# Window: the desktop window host, beside the player's; a host that draws into pictures
# links no SDL.
add_library(zid_window INTERFACE)
set_target_properties(zid_window PROPERTIES EXPORT_NAME Window)
target_link_libraries(zid_window INTERFACE ${zid_window_libraries} zid_player)
add_library(Zidoredider::Window ALIAS zid_window)
set(zid_component_targets zid_player zid_window)
# Web: the real web engine, where the build has one; without it a web view tells its host
# at each load that the program has no web engine.
if(zid_web_libraries)
  add_library(zid_web INTERFACE)
  set_target_properties(zid_web PROPERTIES EXPORT_NAME Web)
  target_link_libraries(zid_web INTERFACE ${zid_web_libraries} zid_player)
  add_library(Zidoredider::Web ALIAS zid_web)
  list(APPEND zid_component_targets zid_web)
endif()

install(TARGETS ${zid_libraries} ${zid_window_libraries} ${zid_web_libraries} ${zid_component_targets}
        EXPORT ZidorediderTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT zid_libraries)
install(EXPORT ZidorediderTargets NAMESPACE Zidoredider:: DESTINATION ${ZID_PACKAGE_CMAKE_DIR}
        COMPONENT zid_libraries)
# The installed archives and the engine program carry no debug information: it would name
# the folders they were compiled in (this checkout, or another one the compiler cache
# took an object from), and an installed build names no checkout.
set(zid_installed_files)
foreach(lib ${zid_libraries} ${zid_window_libraries} ${zid_web_libraries})
  get_target_property(type ${lib} TYPE)
  if(type STREQUAL "STATIC_LIBRARY")
    list(APPEND zid_installed_files "${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:${lib}>")
  endif()
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

# Public headers: each library's include/ folder (platform layers, modules, module parts)
# and the generated ones.
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
foreach(dir ${zid_public_include_dirs})
  install(DIRECTORY ${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
          COMPONENT zid_headers FILES_MATCHING PATTERN "*.h")
endforeach()

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/package/ZidorediderConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/package/ZidorediderConfig.cmake
                              INSTALL_DESTINATION ${ZID_PACKAGE_CMAKE_DIR}
                              PATH_VARS CMAKE_INSTALL_DATADIR ZID_MEDIA_ENGINE_INSTALL_SUBDIR)
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
  set_tests_properties(package.public_headers_stand_alone PROPERTIES LABELS package TIMEOUT 900)
endif()
