# Installs the build into a scratch prefix and links a host program that takes the
# address of every function, method and static data member the installed headers
# declare and only the libraries define, and of every symbol of the framework their
# inline functions use (declarations.py writes it from the installed headers). A
# declaration a library does not export fails the link, named by the linker.
# Inputs: BUILD_DIR, WORK_DIR, CHECK_SOURCE_DIR, GENERATOR, CXX, CLANG, PYTHON, SCRIPT.

include("${CMAKE_CURRENT_LIST_DIR}/ScratchPrefix.cmake")
execute_process(COMMAND "${PYTHON}" "${SCRIPT}" --include "${prefix}/include" --clang "${CLANG}" --cxx "${CXX}"
                        --work "${WORK_DIR}/units" --jobs ${cores}
                        --dumps "${BUILD_DIR}/package-dumps"
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "reading the installed headers' declarations failed")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${CHECK_SOURCE_DIR}" -B "${WORK_DIR}/build" -G "${GENERATOR}"
                        -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_PREFIX_PATH=${prefix}"
                        "-DUNITS_DIR=${WORK_DIR}/units"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the link check against the installed package failed")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${WORK_DIR}/build" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "some declarations of the installed headers do not link (the undefined symbols above)")
endif()
# Loaded with every symbol bound at once: what links also resolves.
execute_process(COMMAND "${CMAKE_COMMAND}" -E env LD_BIND_NOW=1 "${WORK_DIR}/build/link_check"
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the linked program did not load and run (${rc})")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
