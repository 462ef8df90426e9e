# add_onefile_executable(NAME BLOCK <file> OBJECTS <object-library>...
#                        [CONSOLE] [RESOURCES <obj-or-rc>...])
#
# Links one executable around an attached data block. The program's own code
# comes precompiled from OBJECTS; only the block's small assembler stub is
# built per payload, so a new payload never recompiles the launcher sources.
# The stub is the first object on the link line and puts the block in plain
# .rdata, which places it first in the image's read-only data. Without
# RESOURCES the executable gets the launcher's manifest and default icon.
#
# The packer's pack command links the same way from the launcher kit (see
# add_launcher_kit); both take their flags from the lists below.
set(ONEFILE_BLOCK_STUB_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/attached_block.S.in)

# Where the Windows build leaves everything that the packer needs to link a
# launcher without a compiler run over the launcher sources.
set(ONEFILE_KIT_DIR ${CMAKE_BINARY_DIR}/kit)
set(ONEFILE_DEFAULT_RESOURCES ${ONEFILE_KIT_DIR}/resources.o)

set(ONEFILE_LINK_OPTIONS
  # The toolchain's C, C++ and threading runtimes go into the image, so a
  # clean Windows has every DLL the program imports.
  -static -static-libgcc -static-libstdc++
  -s                              # no symbol table: no build paths, smaller file
  -Wl,--stack,16777216            # the application's run_code runs on this stack
  -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0
  -Wl,--no-insert-timestamp       # same inputs, same bytes
  # Address randomisation and non-executable data make an elevated process a
  # harder target.
  -Wl,--dynamicbase -Wl,--nxcompat -Wl,--high-entropy-va
  -municode)                      # wide entry points
set(ONEFILE_LINK_LIBRARIES kernel32)

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
  set(resources ${ARG_RESOURCES})
  if(NOT resources)
    set(resources ${ONEFILE_DEFAULT_RESOURCES})
    set_source_files_properties(${resources} PROPERTIES
      GENERATED TRUE EXTERNAL_OBJECT TRUE)
  endif()
  add_executable(${name} ${stub} ${objects} ${resources})
  onefile_depend_on_block(${name} ${ARG_BLOCK})
  if(NOT ARG_RESOURCES)
    add_dependencies(${name} onefile_resources)
  endif()
  target_link_libraries(${name} PRIVATE zstd_decoder ${ONEFILE_LINK_LIBRARIES})
  target_link_options(${name} PRIVATE ${ONEFILE_LINK_OPTIONS})
  if(NOT ARG_CONSOLE)
    target_link_options(${name} PRIVATE -mwindows)
  endif()
endfunction()

# add_launcher_kit(OBJECTS <object-library>... RESOURCES_TARGET <target>)
#
# Fills ONEFILE_KIT_DIR with what the packer's pack command links a launcher
# from: liblauncher.a (the OBJECTS, in link order, taken whole), the
# Zstandard decoder archive, the block stub template, and kit.txt, which
# names the compiler driver and the link flags of add_onefile_executable.
# The default resource object, its script and its inputs are put there by
# RESOURCES_TARGET.
function(add_launcher_kit)
  cmake_parse_arguments(ARG "" "RESOURCES_TARGET" "OBJECTS" ${ARGN})
  set(objects)
  foreach(library ${ARG_OBJECTS})
    list(APPEND objects $<TARGET_OBJECTS:${library}>)
  endforeach()
  add_library(onefile_launcher_kit STATIC ${objects})
  set_target_properties(onefile_launcher_kit PROPERTIES
    OUTPUT_NAME launcher PREFIX lib ARCHIVE_OUTPUT_DIRECTORY ${ONEFILE_KIT_DIR}
    LINKER_LANGUAGE CXX)

  set(decoder ${ONEFILE_KIT_DIR}/libzstd_decoder.a)
  set(stub ${ONEFILE_KIT_DIR}/attached_block.S.in)
  add_custom_command(OUTPUT ${decoder} ${stub}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:zstd_decoder> ${decoder}
    COMMAND ${CMAKE_COMMAND} -E copy ${ONEFILE_BLOCK_STUB_TEMPLATE} ${stub}
    DEPENDS zstd_decoder ${ONEFILE_BLOCK_STUB_TEMPLATE} VERBATIM)

  # One argument a line, after its kind; the packer reads nothing else.
  set(lines "compiler ${CMAKE_CXX_COMPILER}\nresource-compiler ${CMAKE_RC_COMPILER}\n")
  foreach(option ${ONEFILE_LINK_OPTIONS} -mwindows)
    string(APPEND lines "link-option ${option}\n")
  endforeach()
  separate_arguments(standard_libraries NATIVE_COMMAND "${CMAKE_CXX_STANDARD_LIBRARIES}")
  foreach(library ${ONEFILE_LINK_LIBRARIES})
    string(APPEND lines "link-library -l${library}\n")
  endforeach()
  foreach(library ${standard_libraries})
    string(APPEND lines "link-library ${library}\n")
  endforeach()
  file(GENERATE OUTPUT ${ONEFILE_KIT_DIR}/kit.txt CONTENT "${lines}")

  add_custom_target(onefile_kit ALL DEPENDS ${decoder} ${stub})
  add_dependencies(onefile_kit onefile_launcher_kit ${ARG_RESOURCES_TARGET})
endfunction()

# make_attached_block(OUTPUT <file> [OPTIONS <packer options>...]
#                     RECORDS <name> <file> [<name> <file>...])
#
# The records reach the packer through a list file beside the block, so that
# a block of thousands of records does not make a recipe longer than the
# shell takes.
function(make_attached_block)
  cmake_parse_arguments(ARG "" "OUTPUT" "OPTIONS;RECORDS;DEPENDS" ${ARGN})
  set(files)
  set(list_text)
  list(LENGTH ARG_RECORDS n)
  if(n GREATER 0)
    math(EXPR last "${n} - 1")
    foreach(i RANGE 1 ${last} 2)
      math(EXPR name_index "${i} - 1")
      list(GET ARG_RECORDS ${name_index} name)
      list(GET ARG_RECORDS ${i} f)
      list(APPEND files ${f})
      string(APPEND list_text "${name}\n${f}\n")
    endforeach()
  endif()
  set(record_list ${ARG_OUTPUT}.records)
  file(GENERATE OUTPUT ${record_list} CONTENT "${list_text}")
  add_custom_command(OUTPUT ${ARG_OUTPUT}
    COMMAND ${PACKER_EXECUTABLE} block -o ${ARG_OUTPUT} ${ARG_OPTIONS} --records ${record_list}
    DEPENDS ${PACKER_EXECUTABLE} ${record_list} ${files} ${ARG_DEPENDS}
    VERBATIM)
  # One target builds each block, so the several programs and commands that
  # use it never write it at the same time.
  string(MD5 id "${ARG_OUTPUT}")
  get_filename_component(stem ${ARG_OUTPUT} NAME_WE)
  add_custom_target(block_${stem}_${id} DEPENDS ${ARG_OUTPUT})
  set_property(GLOBAL PROPERTY ONEFILE_BLOCK_TARGET_${id} block_${stem}_${id})
endfunction()

# onefile_depend_on_block(<target> <block-file>): orders target after the
# build of a block made by make_attached_block.
function(onefile_depend_on_block target block)
  string(MD5 id "${block}")
  get_property(block_target GLOBAL PROPERTY ONEFILE_BLOCK_TARGET_${id})
  if(block_target)
    add_dependencies(${target} ${block_target})
  endif()
endfunction()
