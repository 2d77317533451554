# The installed-headers check on a folder of small headers, some of which do not compile
# on their own: it must fail exactly those, also where a precompiled base would hide
# what a header misses. Inputs: CHECK_SOURCE_DIR, HEADERS, WORK_DIR, GENERATOR, CXX.
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${CHECK_SOURCE_DIR}" -B "${WORK_DIR}" -G "${GENERATOR}"
                        -DCMAKE_CXX_COMPILER=${CXX} "-DHEADER_CHECK_INCLUDE_DIR=${HEADERS}"
                OUTPUT_VARIABLE configured RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the check failed:\n${configured}")
endif()
# Two bases found, and the headers that include one compile after it.
if(NOT configured MATCHES "3 headers checked alone, 4 after a precompiled base")
  message(FATAL_ERROR "the check did not precompile its bases as expected:\n${configured}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${WORK_DIR}" -- -k 0
                OUTPUT_VARIABLE built ERROR_VARIABLE built_errors RESULT_VARIABLE rc)
if(rc EQUAL 0)
  message(FATAL_ERROR "the check passed headers that do not compile on their own")
endif()
string(REGEX MATCHALL "FAILED: [^\n]*/tu/[A-Za-z_]+\\.cpp\\.o" failed "${built}${built_errors}")
list(TRANSFORM failed REPLACE ".*/tu/([A-Za-z_]+)\\.cpp\\.o" "\\1")
list(SORT failed)
set(expected rt_NamedFirst_h rt_Queued_h ui_Bare_h ui_Sized_h)
if(NOT failed STREQUAL expected)
  message(FATAL_ERROR "the check failed [${failed}], expected [${expected}]:\n${built}${built_errors}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
