# Installs the build into a scratch prefix and builds a project that compiles every
# installed public header in a translation unit of its own, with only what
# find_package(Zidoredider) hands to a host. A header that needs something it does not
# include, or that includes a header of a system library the package keeps private,
# fails here (by name as well, for those in the compiler's default search path).
# Inputs: BUILD_DIR, WORK_DIR, CHECK_SOURCE_DIR, GENERATOR, CXX, LAUNCHER (the compiler
# cache, if any: the headers rarely change between runs).

include("${CMAKE_CURRENT_LIST_DIR}/ScratchPrefix.cmake")
file(GLOB_RECURSE headers RELATIVE "${prefix}/include" "${prefix}/include/*.h")
list(LENGTH headers count)
message(STATUS "${count} public headers installed")
# The system libraries kept private are refused by name too: some of them (ICU, JSON,
# Boost, libcurl) sit in the compiler's default search path, where a leak would compile.
set(leaks)
foreach(header ${headers})
  file(STRINGS "${prefix}/include/${header}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line ${lines})
    if(line MATCHES "[<\"](cairo|pango|glib|gst|gio|gdk-pixbuf|nlohmann|unicode|boost|curl|fontconfig)[-/.]")
      list(APPEND leaks "${header}: ${line}")
    endif()
  endforeach()
endforeach()
if(leaks)
  list(JOIN leaks "\n  " text)
  message(FATAL_ERROR "public headers include headers of libraries the package keeps private; forward-declare, "
                      "hold an implementation pointer or make the header private:\n  ${text}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${CHECK_SOURCE_DIR}" -B "${WORK_DIR}/build" -G "${GENERATOR}"
                        -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER}"
                        "-DCMAKE_PREFIX_PATH=${prefix}"
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the header check against the installed package failed")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${WORK_DIR}/build" -j ${cores} -- -k 0 RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "some installed public headers do not compile on their own (see above)")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
