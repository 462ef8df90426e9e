# The launcher image, the attached data blocks of the tests, and the
# executables made of them. There is one way to make an executable: the
# packer writes it from the launcher image it carries.

# The image's link flags, besides the static runtimes that every program of
# the build links (CMakeLists.txt). The packer keeps everything the linker
# wrote and only appends the resource and block sections.
set(ONEFILE_LINK_OPTIONS
  -s                              # no symbol table: no build paths, smaller file
  -Wl,--stack,16777216            # the application's run_code runs on this stack
  -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0
  -Wl,--no-insert-timestamp       # same inputs, same bytes
  # Address randomisation and non-executable data make an elevated process a
  # harder target.
  -Wl,--dynamicbase -Wl,--nxcompat -Wl,--high-entropy-va
  -municode -mwindows)            # wide GUI entry; pack --console flips the subsystem
# Only the kernel is imported: every other system library is loaded where
# the extracting parent first calls it, so the loading child never pays for
# it.
set(ONEFILE_LINK_LIBRARIES kernel32)
set(ONEFILE_IMAGE ${CMAKE_BINARY_DIR}/launcher_image.exe)

# add_launcher_image(OBJECTS <object-library>... DESCRIPTOR <source>):
# links launcher_image.exe at the top of the build tree.
function(add_launcher_image)
  cmake_parse_arguments(ARG "" "DESCRIPTOR" "OBJECTS" ${ARGN})
  set(objects)
  foreach(library ${ARG_OBJECTS})
    list(APPEND objects $<TARGET_OBJECTS:${library}>)
  endforeach()
  add_executable(launcher_image ${ARG_DESCRIPTOR} ${objects})
  set_target_properties(launcher_image PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  target_link_libraries(launcher_image PRIVATE zstd_decoder ${ONEFILE_LINK_LIBRARIES})
  target_link_options(launcher_image PRIVATE ${ONEFILE_LINK_OPTIONS})
endfunction()

# add_onefile_executable(NAME BLOCK <file> [OPTIONS <packer wrap options>...])
#
# Makes NAME.exe in the current binary directory around a block made by
# make_attached_block (or derived from one): the packer's wrap command writes
# it exactly as pack would. NAME is a target that builds it.
function(add_onefile_executable name)
  cmake_parse_arguments(ARG "" "BLOCK" "OPTIONS" ${ARGN})
  set(exe ${CMAKE_CURRENT_BINARY_DIR}/${name}.exe)
  add_custom_command(OUTPUT ${exe}
    COMMAND ${PACKER_EXECUTABLE} wrap ${ARG_BLOCK} -o ${exe} ${ARG_OPTIONS}
    DEPENDS ${PACKER_EXECUTABLE} ${ARG_BLOCK}
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${exe})
  onefile_depend_on_block(${name} ${ARG_BLOCK})
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
