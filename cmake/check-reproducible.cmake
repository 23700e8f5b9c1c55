# Builds the stub once more from scratch in a folder of its own, at another
# path and depth than the build's own, and fails unless the two programs are
# the same byte for byte: nothing of the build machine's clock or paths may
# end up in what a vendor ships.
#   cmake -DSOURCE=<source dir> -DREFERENCE=<built stub> -DTOOLCHAIN=<file>
#         -DBUILD_TYPE=<type> -DWORK=<scratch folder> -P check-reproducible.cmake
foreach(var SOURCE REFERENCE TOOLCHAIN BUILD_TYPE WORK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

set(dir "${WORK}/another/build folder")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${dir}")

execute_process(
  COMMAND ${CMAKE_COMMAND} -G Ninja -S "${SOURCE}" -B "${dir}"
          -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
          -DSETUP_BUILD_TESTS=OFF -DSETUP_BUILD_TOOLS=OFF
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "configuring the second build failed:\n${output}")
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} --build "${dir}" --target setupstub -j2
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the second build failed:\n${output}")
endif()

set(second "${dir}/src/setupstub.exe")
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${REFERENCE}" "${second}"
  RESULT_VARIABLE differ)
if(differ)
  # Where they part, for the one who looks into it.
  execute_process(COMMAND cmp "${REFERENCE}" "${second}" OUTPUT_VARIABLE where ERROR_VARIABLE where)
  message(FATAL_ERROR "the stub is not the same from a second build: ${where}"
    "(the second build stays in ${dir})")
endif()
file(REMOVE_RECURSE "${WORK}")
file(SHA256 "${REFERENCE}" hash)
message(STATUS "${REFERENCE}: the same bytes from a second build (sha256 ${hash})")
