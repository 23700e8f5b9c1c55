# The stub built on its own, with a toolchain other than the build's, in
# stubs/<arch> of this build folder: a build of the setupstub target alone.
#   setup_external_stub(<arch> <toolchain file> <variable>)
# defines the target stub_<arch>_build and sets <variable> to the stub's path.
include_guard(GLOBAL)
include(ExternalProject)

function(setup_external_stub arch toolchain out_var)
  set(dir ${CMAKE_BINARY_DIR}/stubs/${arch})
  ExternalProject_Add(stub_${arch}_build
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${toolchain}
               -DCMAKE_BUILD_TYPE=MinSizeRel -DSETUP_BUILD_TESTS=OFF -DSETUP_BUILD_TOOLS=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${dir} --target setupstub
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${dir}/src/setupstub.exe
    INSTALL_COMMAND ""
    USES_TERMINAL_CONFIGURE ON
    USES_TERMINAL_BUILD ON)
  set(${out_var} ${dir}/src/setupstub.exe PARENT_SCOPE)
endfunction()
