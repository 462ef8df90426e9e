// The child's command line, built so that the child's runtime splits it into
// exactly the arguments that the launcher's runtime split from its own.
#pragma once

#include <windows.h>

// The longest command line that CreateProcessW takes, with its terminator:
// 32,767 units. A longer one is cut, so it is refused instead.
enum { CHILD_COMMAND_LINE_CAPACITY = 32767 };
extern wchar_t child_command_line[CHILD_COMMAND_LINE_CAPACITY];

// Room for the long paths the manifest allows; a module path that fills it
// whole was cut short by the system and would name another file.
enum { MODULE_PATH_CAPACITY = 4096 };
extern wchar_t module_path[MODULE_PATH_CAPACITY];

// Fills module_path when it is empty; a path that cannot be obtained whole
// ends the process with abort().
void fill_module_path();

// Appends one argument to child_command_line, quoted so that the runtime's
// parser gives it back unchanged. A command line that would not fit ends the
// process with a message and status 2.
void append_quoted_argument(const wchar_t* argument);

// Fills child_command_line from the arguments that the runtime split from
// the launcher's own command line: each re-quoted, separated by one blank,
// element 0 replaced by module_path.
void build_child_command_line();
