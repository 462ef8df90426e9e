// Starts the loading child: the same executable, the same arguments with
// element 0 replaced by the executable's full path; waits for it, cleans up
// and gives its exit code.
#pragma once

#include <windows.h>

// The limit Windows sets on a command line, with its terminator.
enum { CHILD_COMMAND_LINE_CAPACITY = 32768 };
extern wchar_t child_command_line[CHILD_COMMAND_LINE_CAPACITY];

DWORD launch_child();

// Appends one argument to child_command_line, quoted so that the runtime's
// parser gives it back unchanged.
void append_quoted_argument(const wchar_t* argument);
