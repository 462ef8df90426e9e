// Starts the loading child: the same executable, the same arguments with
// element 0 replaced by the executable's full path; waits for it, cleans up
// and gives its exit code.
#pragma once

#include <windows.h>

// The limit Windows sets on a command line, with its terminator.
enum { CHILD_COMMAND_LINE_CAPACITY = 32768 };
extern wchar_t child_command_line[CHILD_COMMAND_LINE_CAPACITY];

// Room for the long paths the manifest allows; a module path that fills it
// whole was cut short by the system and would name another file.
enum { MODULE_PATH_CAPACITY = 4096 };
extern wchar_t module_path[MODULE_PATH_CAPACITY];

// One more than a module path query into it may return, so that a full
// result still has its terminator.
enum { EXECUTABLE_DIRECTORY_CAPACITY = 4097 };
extern wchar_t executable_directory[EXECUTABLE_DIRECTORY_CAPACITY];

DWORD launch_child();

// Appends one argument to child_command_line, quoted so that the runtime's
// parser gives it back unchanged.
void append_quoted_argument(const wchar_t* argument);

// Fills child_command_line from the launcher's own command line: each
// argument re-quoted, separated by one blank, element 0 replaced by
// module_path.
void build_child_command_line();
