# The packer's sources, for the Linux packer (packer/CMakeLists.txt) and the
# Windows packer of the Windows build alike. embedded_files.S.in becomes the
# embedded files' source once configure_packer_embedding has named them.
set(PACKER_DIR ${CMAKE_CURRENT_LIST_DIR})
set(PACKER_CORE_SOURCES
  block_writer.cpp utf16.cpp record_names.cpp mapped_file.cpp pe_image.cpp
  icon_file.cpp payload_files.cpp attached_listing.cpp pack_progress.cpp
  resource_section.cpp launcher_resources.cpp launcher_executable.cpp
  executable_output.cpp host_files.cpp embedded_files.cpp terminal.cpp command_line.cpp
  dependencies.cpp windows_dlls.cpp)
list(TRANSFORM PACKER_CORE_SOURCES PREPEND ${PACKER_DIR}/)
set(PACKER_MAIN_SOURCES main.cpp block_command.cpp pack_command.cpp list_command.cpp
  extract_command.cpp wrap_command.cpp)
list(TRANSFORM PACKER_MAIN_SOURCES PREPEND ${PACKER_DIR}/)

# configure_packer_embedding(OUT <source> IMAGE <launcher image> ICON <.ico>
#                            MANIFEST <.xml>): the assembler source that
# carries the three files, rebuilt whenever one of them changes.
function(configure_packer_embedding)
  cmake_parse_arguments(ARG "" "OUT;IMAGE;ICON;MANIFEST" "" ${ARGN})
  set(LAUNCHER_IMAGE ${ARG_IMAGE})
  set(DEFAULT_ICON ${ARG_ICON})
  set(MANIFEST ${ARG_MANIFEST})
  configure_file(${PACKER_DIR}/embedded_files.S.in ${ARG_OUT} @ONLY)
  set_source_files_properties(${ARG_OUT} PROPERTIES
    OBJECT_DEPENDS "${ARG_IMAGE};${ARG_ICON};${ARG_MANIFEST}")
endfunction()

# add_packer_zstd(<source dir>): packer_zstd, the whole Zstandard library
# with multithreaded compression, compiled from Debian's source package.
# Both packers compile the same source, so they write the same frames.
function(add_packer_zstd source_dir)
  file(GLOB sources ${source_dir}/lib/common/*.c ${source_dir}/lib/compress/*.c
                    ${source_dir}/lib/decompress/*.c)
  add_library(packer_zstd STATIC ${sources})
  target_include_directories(packer_zstd PUBLIC ${source_dir}/lib)
  # The hand-written amd64 Huffman loop is ELF assembly that mingw cannot
  # take; the packer decodes only to list.
  target_compile_definitions(packer_zstd PRIVATE
    ZSTD_MULTITHREAD=1 ZSTD_DISABLE_ASM=1 ZSTD_LEGACY_SUPPORT=0 ZSTD_NO_TRACE=1
    DEBUGLEVEL=0 XXH_NAMESPACE=ZSTD_)
  target_compile_options(packer_zstd PRIVATE -O3 -w)
  find_package(Threads REQUIRED)
  target_link_libraries(packer_zstd PUBLIC Threads::Threads)
endfunction()
