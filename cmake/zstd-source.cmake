# libzstd for the builds that cannot link Debian's binary (mingw, 32-bit
# Linux): compiled from Debian's source package, unpacked into
# build/third_party/zstd. zstd_decompress is what the stub takes;
# zstd_compress adds the encoder for mksetup.exe. One thread, no assembly.
set(SETUP_ZSTD_SOURCE ${PROJECT_SOURCE_DIR}/build/third_party/zstd CACHE PATH
    "unpacked zstd source package")
if(NOT EXISTS ${SETUP_ZSTD_SOURCE}/lib/zstd.h)
  message(FATAL_ERROR "${SETUP_ZSTD_SOURCE}/lib/zstd.h is missing: unpack Debian's zstd source there")
endif()
file(GLOB zstd_common_sources ${SETUP_ZSTD_SOURCE}/lib/common/*.c)
file(GLOB zstd_decompress_sources ${SETUP_ZSTD_SOURCE}/lib/decompress/*.c)
file(GLOB zstd_compress_sources ${SETUP_ZSTD_SOURCE}/lib/compress/*.c)
set(zstd_definitions ZSTD_DISABLE_ASM ZSTD_LEGACY_SUPPORT=0 DEBUGLEVEL=0 ZSTD_NO_TRACE)

add_library(zstd_decompress STATIC ${zstd_common_sources} ${zstd_decompress_sources})
target_compile_definitions(zstd_decompress PRIVATE ${zstd_definitions})
target_include_directories(zstd_decompress SYSTEM PUBLIC ${SETUP_ZSTD_SOURCE}/lib)
target_compile_options(zstd_decompress PRIVATE -w)

add_library(zstd_compress STATIC ${zstd_compress_sources})
target_compile_definitions(zstd_compress PRIVATE ${zstd_definitions})
target_link_libraries(zstd_compress PUBLIC zstd_decompress)
target_compile_options(zstd_compress PRIVATE -w)
