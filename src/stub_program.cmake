# The stub program, built from the subsystem libraries.
# Wizard and installation libraries are linked as they come into being.
# The top of the house (src/top): the application object, which starts the
# wizards, and the entry point.
add_executable(setupstub WIN32 ${CMAKE_CURRENT_LIST_DIR}/top/setup_app.cpp
  ${CMAKE_CURRENT_LIST_DIR}/top/library_errors.cpp ${CMAKE_CURRENT_LIST_DIR}/top/startup_entry.cpp)
set_target_properties(setupstub PROPERTIES OUTPUT_NAME setupstub)
# The stub decodes zstd payloads; it links the decoder alone.
set_target_properties(setupstub PROPERTIES SETUP_ZSTD_DECODER_ONLY ON)
# The stub's own libraries, wizards first.
set(stub_libraries setupwizard patchwizard uninstaller installer dialogs framework appshell archive)
foreach(lib ${stub_libraries})
  if(TARGET ${lib})
    target_link_libraries(setupstub PRIVATE ${lib})
  endif()
endforeach()
target_link_libraries(setupstub PRIVATE setup_resources setup_manifest
  comctl32 ole32 oleaut32 shell32 advapi32 user32 gdi32 kernel32)
# Our entry point narrows the DLL search before the C runtime starts; it then
# runs the runtime's own (i686 symbols carry a leading underscore).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  target_link_options(setupstub PRIVATE -Wl,-e,_SetupEntry)
else()
  target_link_options(setupstub PRIVATE -Wl,-e,SetupEntry)
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
endif()
