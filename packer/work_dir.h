// A private folder beside the output for the intermediate files of one pack
// (block, stub, resources, the linked image). The finished image is renamed
// out of it into place, so the output is either complete or untouched; the
// folder goes away on success, on failure and on an interrupt.
#pragma once

#include <sys/types.h>

#include <string>

// Creates the folder next to output_path and arranges its removal when
// SIGINT, SIGTERM or SIGHUP ends the packer. On failure returns false with
// a message naming output_path in *error.
bool make_work_dir(const std::string& output_path, std::string* work_dir, std::string* error);

// Removes the folder and everything in it.
void remove_work_dir();

// The tool now writing into the folder, or 0: the leader of its own process
// group. An interrupt ends the group before the folder is removed, so that
// nothing writes into it afterwards.
void note_running_tool(pid_t tool);
