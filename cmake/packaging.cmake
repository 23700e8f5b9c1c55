# mksetup as a tool vendors install: the two stubs beside it, the install
# layout and the packages.
#
#   Linux:   bin/mksetup, share/tarnivex-setup/stub-x86.exe and stub-x64.exe,
#            share/doc/tarnivex-setup/ (README, examples); cpack -G DEB.
#   Windows: mksetup.exe, stub-x86.exe and stub-x64.exe in one folder, with
#            README and examples; cpack -G ZIP.
#
# The build folder holds the same layout (bin/ and share/), so mksetup finds
# its stubs there as it does installed. Each stub is the build's own stub
# target when it is of the right processor, else a file given with
# SETUP_STUB_X86 / SETUP_STUB_X64 (for example the win32 preset's stub), else
# built here: a build of the stub target alone with the mingw toolchain, in
# stubs/<arch> of this build folder.
include(${CMAKE_CURRENT_LIST_DIR}/external-stub.cmake)

option(SETUP_PROVIDE_STUBS "build (or copy) the stubs that install with mksetup" ON)
set(SETUP_STUB_X86 "" CACHE FILEPATH "A built i686 stub to ship; empty: built here")
set(SETUP_STUB_X64 "" CACHE FILEPATH "A built x86_64 stub to ship; empty: built here")

if(WIN32)
  set(setup_stub_dir ${CMAKE_BINARY_DIR}/bin)
  set(setup_stub_destination .)
  set(setup_doc_destination .)
else()
  set(setup_stub_dir ${CMAKE_BINARY_DIR}/share/tarnivex-setup)
  set(setup_stub_destination share/tarnivex-setup)
  set(setup_doc_destination share/doc/tarnivex-setup)
endif()

function(setup_provide_stub arch processor toolchain prebuilt)
  set(out ${setup_stub_dir}/stub-${arch}.exe)
  if(WIN32 AND CMAKE_SYSTEM_PROCESSOR STREQUAL processor AND TARGET setupstub)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:setupstub> ${out}
      DEPENDS setupstub $<TARGET_FILE:setupstub> VERBATIM)
  elseif(prebuilt)
    if(NOT EXISTS ${prebuilt})
      message(FATAL_ERROR "SETUP_STUB_${arch}: ${prebuilt} does not exist")
    endif()
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E copy ${prebuilt} ${out}
      DEPENDS ${prebuilt} VERBATIM)
  else()
    setup_external_stub(${arch} ${PROJECT_SOURCE_DIR}/cmake/${toolchain} built)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E copy ${built} ${out}
      DEPENDS stub_${arch}_build ${built} VERBATIM)
  endif()
  add_custom_target(stub_${arch} ALL DEPENDS ${out})
  install(FILES ${out} DESTINATION ${setup_stub_destination})
endfunction()

if(SETUP_PROVIDE_STUBS)
  setup_provide_stub(x86 i686 mingw-i686.cmake "${SETUP_STUB_X86}")
  setup_provide_stub(x64 x86_64 mingw-x86_64.cmake "${SETUP_STUB_X64}")
endif()

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${setup_doc_destination})
install(FILES ${PROJECT_SOURCE_DIR}/examples/README.md
        DESTINATION ${setup_doc_destination}/examples)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/beispiel
        DESTINATION ${setup_doc_destination}/examples)

set(CPACK_PACKAGE_NAME tarnivex-setup)
set(CPACK_PACKAGE_VENDOR "Tarnivex")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Builds self-extracting installers and patches for Windows products")
set(CPACK_PACKAGE_CONTACT "Tarnivex Setup developers")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tarnivex-setup-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "mksetup turns a manifest and a product's files into one Windows program that\n"
      "installs or patches the product, and lists, verifies and extracts such programs.\n"
      "The 32-bit and 64-bit stubs it appends to come with it.")
endif()
include(CPack)
