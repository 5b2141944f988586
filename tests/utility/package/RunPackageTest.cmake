# Installs the BrevonaUtility component of the build into a private temporary prefix, then
# configures, builds and runs the project in this folder against it.
# Variables: BUILD_DIR, SOURCE_DIR, CXX_COMPILER, CXX_FLAGS, GENERATOR.
execute_process(COMMAND mktemp -d OUTPUT_VARIABLE work OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR work STREQUAL "")
  message(FATAL_ERROR "cannot create a temporary folder")
endif()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    file(REMOVE_RECURSE "${work}")
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}")
  endif()
  message(STATUS "${out}")
endfunction()

run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --component BrevonaUtility --prefix "${work}/prefix")
run(${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${work}/build" -G "${GENERATOR}"
  "-DCMAKE_PREFIX_PATH=${work}/prefix"
  "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS}")
run(${CMAKE_COMMAND} --build "${work}/build")
run("${work}/build/consumer")
file(REMOVE_RECURSE "${work}")
