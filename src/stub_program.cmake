# The stub program, built from the subsystem libraries (stub.cmake names
# its sources, libraries and entry point).
add_executable(setupstub WIN32 ${stub_sources})
set_target_properties(setupstub PROPERTIES OUTPUT_NAME setupstub)
# The stub decodes zstd payloads; it links the decoder alone.
set_target_properties(setupstub PROPERTIES SETUP_ZSTD_DECODER_ONLY ON)
link_stub_libraries(setupstub)
target_link_options(setupstub PRIVATE ${stub_entry})
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
