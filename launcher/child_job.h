// Ties the loading child's life to the extracting parent's.
#pragma once

#include <windows.h>

// Puts process, created suspended and not yet run, into a job that the
// system ends as soon as the parent's last handle to it closes: when the
// parent ends in any way, including being killed, the child ends with it.
// Processes that the child starts leave the job silently, so an application
// may still leave a program of its own running. Where no job can be made or
// the process cannot join it, the child runs without one, as it always may.
void hold_child_in_job(HANDLE process);
