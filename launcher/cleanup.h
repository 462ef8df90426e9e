// Stops a running child and deletes the target directory, at the child's end
// and on console control events.
#pragma once

#include <windows.h>

// The running child, null when none is being watched. The console handler
// runs on a thread of its own, so the handle passes under a guard: the main
// thread publishes and closes it only while holding the guard, the handler
// waits on it or terminates the child only while holding it and never closes
// it. The handle is thus closed once, by the thread that waits on it, and
// never used after.
extern HANDLE child_process;
void lock_child_process();
void unlock_child_process();

// Held by the main thread while it writes one unpacked file, and by a
// deletion of the target directory: a file is never written while the tree
// is being deleted, so a deletion leaves nothing behind, and no two
// deletions run at once.
void lock_unpacking();
void unlock_unpacking();

BOOL WINAPI on_console_ctrl(DWORD control_type);
void cleanup_target();

// The clean-up of an event that ends the process from outside (a console
// control event, the end of the session), run on the thread that received
// it: the child is stopped and the tree deleted before this returns, and the
// main thread then ends the run as after a console event.
void cleanup_after_system_event();

// True once a console event has begun a clean-up in this process.
bool console_event_cleanup_started();

// A run that a console event interrupts ends as the system's default handling
// of the event ends it, never with the stopped child's code. The one decision
// for every place of the main thread that finds the event begun (before a
// file is written, before the child starts, after it ended): the target
// directory is deleted once more, for what was made before the handler could
// see that unpacking had begun; then this waits until every running handler
// has finished its clean-up and gives the system time to end the process.
// Should it leave the process alive, the caller ends with the status given,
// the one that the system's default handling gives on Windows. Called with
// no guard held, as the deletion takes them.
DWORD end_after_console_event();
static const DWORD CONSOLE_EVENT_EXIT_STATUS = STATUS_CONTROL_C_EXIT;
