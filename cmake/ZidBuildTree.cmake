# The build tree's own programs (tests, tools, the demo, the benchmarks) read the
# checkout's resources and start this build's media engine without an install. One small
# object names both, and only those programs link it: the libraries look for it through
# weak declarations (fnd::buildTreeResourceDirectory, media::buildTreeEnginePath), so
# nothing installed names this checkout and an installed build finds everything under
# its own prefix. Programs that stand for installed ones list themselves in the global
# ZID_INSTALLED_PROGRAMS and do not link it.

set(zid_build_tree_source ${CMAKE_BINARY_DIR}/generated/BuildTreePaths.cpp)
file(GENERATE OUTPUT ${zid_build_tree_source} CONTENT
"// Generated: where the build tree's programs find the checkout's resources and this build's engine.
namespace fnd {
const char* buildTreeResourceDirectory();
const char* buildTreeResourceDirectory() { return \"${PROJECT_SOURCE_DIR}/resources\"; }
}  // namespace fnd
namespace media {
const char* buildTreeEnginePath();
const char* buildTreeEnginePath() { return \"$<TARGET_FILE:zid_media_engine>\"; }
}  // namespace media
")
add_library(zid_build_tree_paths OBJECT ${zid_build_tree_source})

function(zid_build_tree_executables dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  set(found)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      list(APPEND found ${target})
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir ${subdirs})
    zid_build_tree_executables(${subdir} more)
    list(APPEND found ${more})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

zid_build_tree_executables(${PROJECT_SOURCE_DIR} zid_programs)
get_property(zid_installed_programs GLOBAL PROPERTY ZID_INSTALLED_PROGRAMS)
if(zid_installed_programs)
  list(REMOVE_ITEM zid_programs ${zid_installed_programs})
endif()
foreach(program ${zid_programs})
  target_link_libraries(${program} PRIVATE zid_build_tree_paths)
endforeach()
