// Removes target directories that earlier launches left behind: a launch
// whose parent was killed, whose run failed or that a power cut ended cannot
// delete its own tree, but the next launch beside it can.
#pragma once

// Starts the sweep of the directory that holds target_directory on a thread
// of its own, so that it runs while the child starts and works. A directory
// there is swept when its name is exactly one the target spec makes, it is
// a real directory (no link), and the process id in its name names no live
// process; nothing else is touched. Does nothing when no thread can be made.
void start_leftover_sweep();

// Waits until the sweep has ended; it ends by itself within its time budget.
void await_leftover_sweep();

// Asks the sweep to end after the entry it is working on and waits for that.
void stop_leftover_sweep();
