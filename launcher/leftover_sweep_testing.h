// The sweep's parts, for tests that run it on a directory of their own.
#pragma once

#include <windows.h>

#include "common/tree_deletion.h"

// The process id in a name that the target spec makes
// ("onefile_<pid>_<6 digits>_<11 units of the URL-safe base64 alphabet>"),
// or 0 for any other name.
DWORD target_directory_process_id(const wchar_t* name);

// Sweeps directory as the launcher's sweep does, on the calling thread,
// leaving the directory named own_name alone; walk bounds it in time. Gives
// how many leftovers it deleted whole.
int sweep_leftovers(const wchar_t* directory, const wchar_t* own_name, TreeDeletion* walk);
