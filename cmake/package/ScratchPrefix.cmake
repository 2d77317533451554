# Shared by the package checks run as scripts: installs the build (BUILD_DIR) into a
# fresh scratch prefix under WORK_DIR, setting `prefix`, and sets `cores` to the cores
# this process may run on, at most 3 (CMake's own count ignores the affinity mask, and a
# check running eight compilers beside the other tests starved a run held to two cores).

file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "installing into ${prefix} failed (${rc})")
endif()
execute_process(COMMAND nproc OUTPUT_VARIABLE cores OUTPUT_STRIP_TRAILING_WHITESPACE)
if(cores GREATER 3)
  set(cores 3)
endif()
