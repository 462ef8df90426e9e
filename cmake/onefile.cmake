# add_onefile_executable(NAME BLOCK <file> OBJECTS <object-library>...
#                        [CONSOLE] [RESOURCES <obj-or-rc>...])
#
# Links one executable around an attached data block. The program's own code
# comes precompiled from OBJECTS; only the block's small assembler stub is
# built per payload, so a new payload never recompiles the launcher sources.
# The stub is the first object on the link line and puts the block in plain
# .rdata, which places it first in the image's read-only data.
set(ONEFILE_BLOCK_STUB_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/attached_block.S.in)

function(add_onefile_executable name)
  cmake_parse_arguments(ARG "CONSOLE" "BLOCK" "OBJECTS;RESOURCES" ${ARGN})
  set(stub ${CMAKE_CURRENT_BINARY_DIR}/${name}.block.S)
  set(ATTACHED_BLOCK_FILE ${ARG_BLOCK})
  configure_file(${ONEFILE_BLOCK_STUB_TEMPLATE} ${stub} @ONLY)
  set_source_files_properties(${stub} PROPERTIES OBJECT_DEPENDS ${ARG_BLOCK})
  set(objects)
  foreach(library ${ARG_OBJECTS})
    list(APPEND objects $<TARGET_OBJECTS:${library}>)
  endforeach()
  add_executable(${name} ${stub} ${objects} ${ARG_RESOURCES})
  target_link_libraries(${name} PRIVATE zstd_decoder shell32 kernel32)
  target_link_options(${name} PRIVATE
    -Wl,--stack,16777216            # the application's run_code runs on this stack
    -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0
    -Wl,--no-insert-timestamp       # same inputs, same bytes
    -municode)                      # wide entry points
  if(NOT ARG_CONSOLE)
    target_link_options(${name} PRIVATE -mwindows)
  endif()
endfunction()

# make_attached_block(OUTPUT <file> [OPTIONS <packer options>...]
#                     RECORDS <name> <file> [<name> <file>...])
function(make_attached_block)
  cmake_parse_arguments(ARG "" "OUTPUT" "OPTIONS;RECORDS;DEPENDS" ${ARGN})
  set(files)
  list(LENGTH ARG_RECORDS n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 1 ${last} 2)
    list(GET ARG_RECORDS ${i} f)
    list(APPEND files ${f})
  endforeach()
  add_custom_command(OUTPUT ${ARG_OUTPUT}
    COMMAND ${PACKER_EXECUTABLE} block -o ${ARG_OUTPUT} ${ARG_OPTIONS} ${ARG_RECORDS}
    DEPENDS ${PACKER_EXECUTABLE} ${files} ${ARG_DEPENDS}
    VERBATIM)
endfunction()
