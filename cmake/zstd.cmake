# libzstd for the archive library.
#
#   native (Linux x86_64): Debian's libzstd (libzstd-dev).
#   mingw and 32-bit Linux builds: compiled here from lib/ of Debian's
#   source package of the same release, which scripts/fetch-zstd puts into
#   build/third_party/zstd (SETUP_ZSTD_SOURCE). Two libraries: zstd_full for
#   mksetup.exe and the test programs, and zstd_decoder for the stub: the
#   decompressor alone, without legacy formats, built for size.
#
# The archive library links zstd_payload, which stands for zstd_decoder in
# a target whose property SETUP_ZSTD_DECODER_ONLY is set (the stub) and for
# zstd_full everywhere else.
set(SETUP_ZSTD_SOURCE "${PROJECT_SOURCE_DIR}/build/third_party/zstd"
    CACHE PATH "Debian's zstd source, unpacked (scripts/fetch-zstd)")

if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  find_path(ZSTD_INCLUDE_DIR zstd.h REQUIRED)
  find_library(ZSTD_LIBRARY zstd REQUIRED)
  add_library(zstd_full UNKNOWN IMPORTED GLOBAL)
  set_target_properties(zstd_full PROPERTIES IMPORTED_LOCATION ${ZSTD_LIBRARY}
                                              INTERFACE_INCLUDE_DIRECTORIES ${ZSTD_INCLUDE_DIR})
  add_library(zstd_decoder ALIAS zstd_full)
else()
  set(zstd_lib ${SETUP_ZSTD_SOURCE}/lib)
  if(NOT EXISTS ${zstd_lib}/zstd.h)
    message(FATAL_ERROR "No zstd source in ${SETUP_ZSTD_SOURCE}: run scripts/setup "
                        "(it fetches Debian's zstd source package)")
  endif()
  file(GLOB zstd_common ${zstd_lib}/common/*.c)
  file(GLOB zstd_decompress ${zstd_lib}/decompress/*.c)
  file(GLOB zstd_compress ${zstd_lib}/compress/*.c)
  # No threads (the output must not depend on them), no legacy formats, no
  # assembly (the x86_64 decoder's .S is for ELF).
  set(zstd_defines ZSTD_LEGACY_SUPPORT=0 ZSTD_DISABLE_ASM ZSTD_TRACE=0
      XXH_NAMESPACE=ZSTD_)

  # The stub's decoder, built for size: one Huffman decoder (X1), the
  # short-offset sequence decoder only, no error texts, and no unwind tables
  # (no exception passes through C code). Two files carry the time: the
  # sequence decoder and the checksum; they are built for speed, the rest
  # with -Os and no forced inlining. On a tar of Wine's 64-bit DLLs this
  # decodes at 98 % of the speed of an -O2 build, for 12 KiB more than all
  # at -Os (42 % of that speed); all at -O2 would cost 27 KiB more.
  set(zstd_decoder_hot ${zstd_lib}/decompress/zstd_decompress_block.c ${zstd_lib}/common/xxhash.c)
  set(zstd_decoder_rest ${zstd_common} ${zstd_decompress})
  list(REMOVE_ITEM zstd_decoder_rest ${zstd_decoder_hot})
  set(zstd_decoder_defines ${zstd_defines} ZSTD_STRIP_ERROR_STRINGS HUF_FORCE_DECOMPRESS_X1
      ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT)
  set(zstd_decoder_options -w -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables)
  add_library(zstd_decoder_hot OBJECT ${zstd_decoder_hot})
  target_include_directories(zstd_decoder_hot SYSTEM PRIVATE ${zstd_lib})
  target_compile_definitions(zstd_decoder_hot PRIVATE ${zstd_decoder_defines})
  target_compile_options(zstd_decoder_hot PRIVATE -O2 ${zstd_decoder_options})
  add_library(zstd_decoder STATIC ${zstd_decoder_rest} $<TARGET_OBJECTS:zstd_decoder_hot>)
  target_include_directories(zstd_decoder SYSTEM PUBLIC ${zstd_lib})
  target_compile_definitions(zstd_decoder PRIVATE ${zstd_decoder_defines} ZSTD_NO_INLINE)
  target_compile_options(zstd_decoder PRIVATE -Os ${zstd_decoder_options})

  if(SETUP_BUILD_TOOLS OR SETUP_BUILD_TESTS)
    add_library(zstd_full STATIC ${zstd_common} ${zstd_compress} ${zstd_decompress})
    target_include_directories(zstd_full SYSTEM PUBLIC ${zstd_lib})
    target_compile_definitions(zstd_full PRIVATE ${zstd_defines})
    target_compile_options(zstd_full PRIVATE -O2 -w)
  else()
    # A build of the stub alone.
    add_library(zstd_full ALIAS zstd_decoder)
  endif()
endif()

add_library(zstd_payload INTERFACE)
target_link_libraries(zstd_payload INTERFACE
  "$<IF:$<BOOL:$<TARGET_PROPERTY:SETUP_ZSTD_DECODER_ONLY>>,zstd_decoder,zstd_full>")
