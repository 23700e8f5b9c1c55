# The stub: the setup program that carries an archive behind its image.
# Built here, or, where the build's toolchain names another for it
# (SETUP_STUB_TOOLCHAIN: the i686 test programs need the posix thread model,
# the shipping stub is built without it), built on its own with that one and
# known here as the imported program setupstub.
if(SETUP_STUB_TOOLCHAIN)
  include(${PROJECT_SOURCE_DIR}/cmake/external-stub.cmake)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(stub_arch x86)
  else()
    set(stub_arch x64)
  endif()
  setup_external_stub(${stub_arch} ${SETUP_STUB_TOOLCHAIN} built)
  add_executable(setupstub IMPORTED GLOBAL)
  set_target_properties(setupstub PROPERTIES IMPORTED_LOCATION ${built})
  add_dependencies(setupstub stub_${stub_arch}_build)
  # Where the stub of a build of its own lies, as scripts and the README name it.
  set(stub_file ${CMAKE_CURRENT_BINARY_DIR}/setupstub.exe)
  add_custom_command(OUTPUT ${stub_file}
    COMMAND ${CMAKE_COMMAND} -E copy ${built} ${stub_file}
    DEPENDS stub_${stub_arch}_build ${built} VERBATIM)
  add_custom_target(setupstub_copy ALL DEPENDS ${stub_file})
  set(stub_toolchain ${SETUP_STUB_TOOLCHAIN})
else()
  include(${CMAKE_CURRENT_LIST_DIR}/stub_program.cmake)
  set(stub_toolchain ${CMAKE_TOOLCHAIN_FILE})
endif()

# The shipping stub (i686) stays small, imports what Windows XP SP3 has, and
# builds the same bytes twice.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  include(${CMAKE_CURRENT_LIST_DIR}/stub_checks.cmake)
endif()
