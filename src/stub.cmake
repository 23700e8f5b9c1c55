# The stub: the setup program that carries an archive behind its image.
# The top of the house (src/top): the application object, which starts the
# wizards, and the entry point.
set(stub_sources ${CMAKE_CURRENT_LIST_DIR}/top/setup_app.cpp
  ${CMAKE_CURRENT_LIST_DIR}/top/interrupted_run.cpp ${CMAKE_CURRENT_LIST_DIR}/top/library_errors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/top/startup_entry.cpp)
# The stub's own libraries, wizards first, and the system's.
set(stub_libraries setupwizard patchwizard uninstaller installer dialogs framework appshell archive)
function(link_stub_libraries target)
  foreach(lib ${stub_libraries})
    if(TARGET ${lib})
      target_link_libraries(${target} PRIVATE ${lib})
    endif()
  endforeach()
  target_link_libraries(${target} PRIVATE setup_resources setup_manifest
    comctl32 ole32 oleaut32 shell32 advapi32 user32 gdi32 kernel32)
endfunction()
# Our entry point narrows the DLL search before the C runtime starts; it then
# runs the runtime's own (i686 symbols carry a leading underscore).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(stub_entry -Wl,-e,_SetupEntry)
else()
  set(stub_entry -Wl,-e,SetupEntry)
endif()

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

# The tests' stub: the same program that ends itself where a test asks
# (app/cut_point.h), to show that the next start recovers. Never shipped;
# linked without link-time optimisation, from the libraries' ordinary code.
if(SETUP_BUILD_TESTS)
  add_executable(setupstub_cut WIN32 ${stub_sources}
    ${CMAKE_SOURCE_DIR}/tests/e2e/cut_point_hooks.cpp)
  link_stub_libraries(setupstub_cut)
  target_link_options(setupstub_cut PRIVATE ${stub_entry} -fno-lto -s)
endif()

# The shipping stub (i686) stays small, imports what Windows XP SP3 has, and
# builds the same bytes twice.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  include(${CMAKE_CURRENT_LIST_DIR}/stub_checks.cmake)
endif()
