// Starts the loading child: the same executable, the same arguments with
// element 0 replaced by the executable's full path; waits for it, cleans up
// and gives its exit code.
#pragma once

#include <windows.h>

// One more than a module path query into it may return, so that a full
// result still has its terminator.
enum { EXECUTABLE_DIRECTORY_CAPACITY = 4097 };
extern wchar_t executable_directory[EXECUTABLE_DIRECTORY_CAPACITY];

// Starts the child with child_command_line, which build_child_command_line
// filled before anything was unpacked, waits for it, cleans up and gives its
// exit code.
DWORD launch_child();
