// Stops a running child and deletes the target directory, at the child's end
// and on console control events.
#pragma once

#include <windows.h>

// The running child, null when none is being watched.
extern HANDLE child_process;

BOOL WINAPI on_console_ctrl(DWORD control_type);
void cleanup_target();
