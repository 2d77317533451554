# Installs the resource bundles into a scratch prefix, runs the probe from that
# prefix's bin/ and checks that every bundle was found inside the prefix; then runs it
# from a folder outside the prefix with ZID_RESOURCE_DIR naming the installed resources.
# Inputs: BUILD_DIR, PROBE, WORK_DIR, DATA_SUBDIR.

file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")
execute_process(
  COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}" --component zid_resources
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "installing the resources failed (${rc})")
endif()

file(MAKE_DIRECTORY "${prefix}/bin")
file(COPY "${PROBE}" DESTINATION "${prefix}/bin")
get_filename_component(probe_name "${PROBE}" NAME)
execute_process(COMMAND "${prefix}/bin/${probe_name}"
                WORKING_DIRECTORY "${WORK_DIR}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "probe said:\n${out}${err}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the installed probe did not find its bundles or texts")
endif()

file(REAL_PATH "${prefix}/${DATA_SUBDIR}" data_dir)
foreach(name QXFoundation RuzEzo RudoreVaz QXNetworking)
  string(FIND "${out}" "${name}=${data_dir}/${name}.bundle" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${name}.bundle was not found in the installed prefix ${data_dir}")
  endif()
endforeach()
if(NOT out MATCHES "text=just now")
  message(FATAL_ERROR "the installed strings table was not read")
endif()

# A program outside the prefix is pointed at the installed resources by one setting.
file(MAKE_DIRECTORY "${WORK_DIR}/elsewhere")
file(COPY "${PROBE}" DESTINATION "${WORK_DIR}/elsewhere")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "ZID_RESOURCE_DIR=${data_dir}" "${WORK_DIR}/elsewhere/${probe_name}"
                WORKING_DIRECTORY "${WORK_DIR}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "probe pointed at the prefix said:\n${out}${err}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the probe pointed at the resources with ZID_RESOURCE_DIR did not find its bundles or texts")
endif()
foreach(name QXFoundation RuzEzo RudoreVaz QXNetworking)
  string(FIND "${out}" "${name}=${data_dir}/${name}.bundle" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${name}.bundle was not taken from ZID_RESOURCE_DIR (${data_dir})")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")
