# Installs the build into a scratch prefix, writes the thread sweep from the installed
# headers (thread_sweep.py), builds it against the installed package and runs it.
# Inputs: BUILD_DIR, WORK_DIR, CHECK_SOURCE_DIR, GENERATOR, CLANG, PYTHON, SCRIPT, LAUNCHER.

include("${CMAKE_CURRENT_LIST_DIR}/ScratchPrefix.cmake")
execute_process(COMMAND "${PYTHON}" "${SCRIPT}" --include "${prefix}/include" --clang "${CLANG}"
                        --work "${WORK_DIR}/units" --jobs ${cores}
                        --dumps "${BUILD_DIR}/package-dumps"
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "reading the installed headers' methods failed")
endif()
# The generated calls are compiled by clang: GCC took twice as long on them at -O0 (most
# of it generating code for the many small templates each call instantiates), the
# longest part of the check on two cores. A host's compiler is either.
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${CHECK_SOURCE_DIR}" -B "${WORK_DIR}/build" -G "${GENERATOR}"
                        -DCMAKE_CXX_COMPILER=${CLANG} "-DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER}"
                        "-DCMAKE_PREFIX_PATH=${prefix}" "-DUNITS_DIR=${WORK_DIR}/units"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the thread sweep against the installed package failed")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${WORK_DIR}/build" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the generated thread sweep does not compile (above)")
endif()
execute_process(COMMAND "${WORK_DIR}/build/thread_sweep" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "some methods of main-thread-only classes were not refused on a host's thread (above)")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
