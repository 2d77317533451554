# The installed package: every module library, the public headers, the resources and a
# CMake package configuration, so a host writes
#
#   find_package(Zidoredider REQUIRED)
#   target_link_libraries(app PRIVATE Zidoredider::Player)
#
# and gets every library and system dependency through usage requirements. Hosts that
# do not use CMake read zidoredider.pc. System libraries the sources use privately travel
# as link-only requirements: the public headers never need their headers.

include(CMakePackageConfigHelpers)

set(ZID_PACKAGE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Zidoredider)
get_property(zid_libraries GLOBAL PROPERTY ZID_LIBRARIES)

# The one target a host links: every module library.
add_library(zid_player INTERFACE)
set_target_properties(zid_player PROPERTIES EXPORT_NAME Player)
target_link_libraries(zid_player INTERFACE ${zid_libraries})
target_compile_features(zid_player INTERFACE cxx_std_20)
add_library(Zidoredider::Player ALIAS zid_player)

install(TARGETS ${zid_libraries} zid_player EXPORT ZidorediderTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT zid_libraries)

# The desktop window host, a target of its own beside the player's: a host that shows
# the player in a desktop window links Zidoredider::Window too (and with it SDL2); one
# that draws into pictures does not.
get_property(zid_window_libraries GLOBAL PROPERTY ZID_WINDOW_LIBRARIES)
add_library(zid_window INTERFACE)
set_target_properties(zid_window PROPERTIES EXPORT_NAME Window)
target_link_libraries(zid_window INTERFACE ${zid_window_libraries} zid_player)
add_library(Zidoredider::Window ALIAS zid_window)
install(TARGETS ${zid_window_libraries} zid_window EXPORT ZidorediderTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT zid_libraries)
install(EXPORT ZidorediderTargets NAMESPACE Zidoredider:: DESTINATION ${ZID_PACKAGE_CMAKE_DIR}
        COMPONENT zid_libraries)

# Public headers: each library's include/ folder (platform layers, modules, module parts)
# and the generated ones.
set(zid_public_include_dirs)
foreach(lib ${zid_libraries} ${zid_window_libraries})
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

# The system packages the exported targets name; the configuration finds them again.
set(ZID_PKG_UI_GFX "cairo pangocairo pangoft2 fontconfig gdk-pixbuf-2.0")
set(ZID_PKG_GST "gstreamer-1.0>=1.22 gstreamer-app-1.0 gstreamer-video-1.0 gio-2.0")
set(ZID_PKG_GDK_PIXBUF "gdk-pixbuf-2.0")
set(ZID_PKG_WINDOW "sdl2 x11")
get_property(ZID_PKG_WEBKIT GLOBAL PROPERTY ZID_PKG_WEBKIT)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/package/ZidorediderConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/package/ZidorediderConfig.cmake
                              INSTALL_DESTINATION ${ZID_PACKAGE_CMAKE_DIR}
                              PATH_VARS CMAKE_INSTALL_DATADIR ZID_MEDIA_ENGINE_INSTALL_SUBDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/ZidorediderConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/ZidorediderConfig.cmake
              ${CMAKE_BINARY_DIR}/package/ZidorediderConfigVersion.cmake
        DESTINATION ${ZID_PACKAGE_CMAKE_DIR} COMPONENT zid_libraries)

# pkg-config: the libraries from the top down, then what they need.
set(ZID_PC_LIBS)
list(REVERSE zid_libraries)
foreach(lib ${zid_libraries})
  get_target_property(type ${lib} TYPE)
  if(type STREQUAL "STATIC_LIBRARY")
    get_target_property(name ${lib} OUTPUT_NAME)
    string(APPEND ZID_PC_LIBS " -l${name}")
  endif()
endforeach()
string(REPLACE ">=" " >= " ZID_PC_GST "${ZID_PKG_GST}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/package/zidoredider.pc.in ${CMAKE_BINARY_DIR}/package/zidoredider.pc @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/package/zidoredider-window.pc.in ${CMAKE_BINARY_DIR}/package/zidoredider-window.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/zidoredider.pc ${CMAKE_BINARY_DIR}/package/zidoredider-window.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT zid_libraries)

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
