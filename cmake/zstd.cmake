# libzstd's decoder, compiled for Windows from Debian's source package. The
# launcher only decompresses, so lib/common and lib/decompress suffice; the
# hand-written amd64 Huffman loop is ELF assembly that mingw cannot take.
file(GLOB ZSTD_SOURCES
  ${ZSTD_SOURCE_DIR}/lib/common/*.c
  ${ZSTD_SOURCE_DIR}/lib/decompress/*.c)
add_library(zstd_decoder STATIC ${ZSTD_SOURCES})
target_include_directories(zstd_decoder PUBLIC ${ZSTD_SOURCE_DIR}/lib)
target_compile_definitions(zstd_decoder PRIVATE
  ZSTD_DISABLE_ASM=1 ZSTD_LEGACY_SUPPORT=0 ZSTD_MULTITHREAD=0
  ZSTD_NO_TRACE=1 DEBUGLEVEL=0 XXH_NAMESPACE=ZSTD_)
target_compile_options(zstd_decoder PRIVATE -O3 -w)
