# The link check (cmake/package/declarations.py), tried on a header of its own over a
# library that lacks some of what the header declares: the link must fail, naming each
# missing public or protected declaration, the operator among them, and the private
# method an inline function calls, and none of what the library has or no host can reach.
# Inputs: FIXTURE, WORK_DIR, CXX, CLANG, PYTHON, SCRIPT, MAIN.

# The checks keep the syntax tree's dumps for the next check of the same headers: read
# first from a header that lacks missing() at the same path, the dumps kept must not be
# taken for the header as it is now.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/include/media")
file(READ "${FIXTURE}/include/media/Probe.h" probe)
string(REPLACE "    int missing() const;\n" "" earlier "${probe}")
file(WRITE "${WORK_DIR}/include/media/Probe.h" "${earlier}")
foreach(round earlier now)
  execute_process(COMMAND "${PYTHON}" "${SCRIPT}" --include "${WORK_DIR}/include" --clang "${CLANG}" --cxx "${CXX}"
                          --work "${WORK_DIR}/units" --jobs 1 --dumps "${WORK_DIR}/dumps"
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "reading the probe header's declarations failed")
  endif()
  file(WRITE "${WORK_DIR}/include/media/Probe.h" "${probe}")
endforeach()
file(GLOB kept "${WORK_DIR}/dumps/*/complete")
list(LENGTH kept count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "the dumps folder holds ${count} complete sets, not the one of the headers last read")
endif()
execute_process(COMMAND "${CXX}" -std=c++20 -shared -fPIC -I "${FIXTURE}/include" "${FIXTURE}/Probe.cpp"
                        -o "${WORK_DIR}/libprobe.so"
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the probe library failed")
endif()
execute_process(COMMAND "${CXX}" "${MAIN}" "${WORK_DIR}/units/declarations.cpp" -L "${WORK_DIR}" -lprobe
                        -o "${WORK_DIR}/probe_check"
                RESULT_VARIABLE rc ERROR_VARIABLE errors OUTPUT_VARIABLE output)
set(errors "${errors}${output}")
if(rc EQUAL 0)
  message(FATAL_ERROR "the link check linked although the library lacks declarations")
endif()
set(failures)
foreach(name "media::Probe::missing()" "media::Probe::missingCount" "media::operator==(" "media::Probe::helper()")
  string(FIND "${errors}" "${name}" at)
  if(at LESS 0)
    list(APPEND failures "not named: ${name}")
  endif()
endforeach()
foreach(name "media::Probe::defined()" "media::Probe::forSubclasses()" "media::operator<(" "media::Probe::unreachable()"
             "media::Probe::inlined()")
  string(FIND "${errors}" "${name}" at)
  if(at GREATER_EQUAL 0)
    list(APPEND failures "named although it needs no library or the library has it: ${name}")
  endif()
endforeach()
if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "the link check missed:\n  ${text}\nwhat the linker said:\n${errors}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
