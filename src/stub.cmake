# The stub: the setup program that carries an archive behind its image.
# Wizard and installation libraries are linked as they come into being.
# The top of the house (src/top): the application object, which starts the
# wizards, and the entry point.
set(stub_sources ${CMAKE_CURRENT_LIST_DIR}/top/setup_app.cpp
  ${CMAKE_CURRENT_LIST_DIR}/top/interrupted_run.cpp ${CMAKE_CURRENT_LIST_DIR}/top/library_errors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/top/startup_entry.cpp)
add_executable(setupstub WIN32 ${stub_sources})
set_target_properties(setupstub PROPERTIES OUTPUT_NAME setupstub)
# The stub decodes zstd payloads; it links the decoder alone.
set_target_properties(setupstub PROPERTIES SETUP_ZSTD_DECODER_ONLY ON)
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
link_stub_libraries(setupstub)
# Our entry point narrows the DLL search before the C runtime starts; it then
# runs the runtime's own (i686 symbols carry a leading underscore).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(stub_entry -Wl,-e,_SetupEntry)
else()
  set(stub_entry -Wl,-e,SetupEntry)
endif()
target_link_options(setupstub PRIVATE ${stub_entry})
# The tests' stub: the same program that ends itself where a test asks
# (app/cut_point.h), to show that the next start recovers. Never shipped;
# linked without link-time optimisation, from the libraries' ordinary code.
if(SETUP_BUILD_TESTS)
  add_executable(setupstub_cut WIN32 ${stub_sources}
    ${CMAKE_SOURCE_DIR}/tests/e2e/cut_point_hooks.cpp)
  link_stub_libraries(setupstub_cut)
  target_link_options(setupstub_cut PRIVATE ${stub_entry} -fno-lto -s)
endif()
# Small: drop unused code and the symbol table.
target_compile_options(setupstub PRIVATE -ffunction-sections -fdata-sections)
target_link_options(setupstub PRIVATE -Wl,--gc-sections -s)
# Link-time optimisation over all of the stub's C++ (a quarter smaller). Its
# libraries carry ordinary code as well (fat objects), which the test
# programs and mksetup.exe link (-fno-lto, CMakeLists.txt). One partition:
# gcc 12's default partitioning stops with an internal error in
# binds_to_current_def_p on these targets.
if(WIN32)
  foreach(lib setupstub ${stub_libraries})
    if(TARGET ${lib})
      target_compile_options(${lib} PRIVATE -flto -ffat-lto-objects)
    endif()
  endforeach()
  target_link_options(setupstub PRIVATE -flto -flto-partition=one)
endif()
# The shipping stub stays small: at most 320 KiB.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  add_custom_command(TARGET setupstub POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:setupstub> -DLIMIT=327680
            -P ${CMAKE_SOURCE_DIR}/cmake/check-size.cmake)
  # What it imports at load time must be on Windows XP SP3, and no DLL that
  # is not a known DLL (cmake/stub-imports.txt lists the functions).
  add_test(NAME stub_imports COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP}
    -DFILE=$<TARGET_FILE:setupstub> -DALLOWED=${CMAKE_SOURCE_DIR}/cmake/stub-imports.txt
    -P ${CMAKE_SOURCE_DIR}/cmake/check-imports.cmake)
  # Reproducible: a second build from scratch, in another folder, gives the
  # same bytes.
  add_test(NAME stub_reproducible COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR}
    -DREFERENCE=$<TARGET_FILE:setupstub> -DTOOLCHAIN=${CMAKE_TOOLCHAIN_FILE}
    -DBUILD_TYPE=${CMAKE_BUILD_TYPE} -DWORK=${CMAKE_BINARY_DIR}/reproducible
    -P ${CMAKE_SOURCE_DIR}/cmake/check-reproducible.cmake)
  # About a minute of compiler time, shared by two jobs; a loaded machine takes
  # several times that.
  set_tests_properties(stub_reproducible PROPERTIES TIMEOUT 600)
  # The check itself, on a program that has both faults.
  add_executable(import_probe ${CMAKE_SOURCE_DIR}/tests/imports/probe.c)
  target_link_libraries(import_probe PRIVATE version kernel32)
  add_test(NAME stub_imports_refuses_probe COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP}
    -DFILE=$<TARGET_FILE:import_probe> -DALLOWED=${CMAKE_SOURCE_DIR}/cmake/stub-imports.txt
    -P ${CMAKE_SOURCE_DIR}/cmake/check-imports.cmake)
  set_tests_properties(stub_imports_refuses_probe PROPERTIES PASS_REGULAR_EXPRESSION
    "(VERSION.dll is imported at load time.*GetTickCount64 needs Windows Vista|GetTickCount64 needs Windows Vista.*VERSION.dll is imported at load time)")
endif()
