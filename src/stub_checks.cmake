# Checks of the shipping stub (i686), wherever this build gets it from
# (src/stub.cmake): its size is checked where it is linked.
# What it imports at load time must be on Windows XP SP3, and no DLL that
# is not a known DLL (cmake/stub-imports.txt lists the functions).
add_test(NAME stub_imports COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP}
  -DFILE=$<TARGET_FILE:setupstub> -DALLOWED=${CMAKE_SOURCE_DIR}/cmake/stub-imports.txt
  -P ${CMAKE_SOURCE_DIR}/cmake/check-imports.cmake)
# Reproducible: a second build from scratch, in another folder, gives the
# same bytes.
add_test(NAME stub_reproducible COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR}
  -DREFERENCE=$<TARGET_FILE:setupstub> -DTOOLCHAIN=${stub_toolchain}
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
