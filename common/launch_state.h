// Process-wide state of one run, shared by the flow, the extraction, the
// child launch, the clean-up and the hand-off: declared here, below every
// folder that reads it. Every buffer is empty at process start; a capacity
// counts UTF-16 units and includes the terminating zero.
#pragma once

#include <windows.h>

// Room for the long paths the manifest allows, within what the shell and
// the loader take.
enum { TARGET_DIRECTORY_CAPACITY = 4096 };
enum { RECORD_PATH_CAPACITY = 4096 };
enum { APP_LIBRARY_PATH_CAPACITY = 4096 };
// One more than a module path query may return, so that a full result still
// has its terminator.
enum { OWN_CANONICAL_PATH_CAPACITY = 4097 };

extern wchar_t target_directory[TARGET_DIRECTORY_CAPACITY];
extern wchar_t own_canonical_path[OWN_CANONICAL_PATH_CAPACITY];
extern wchar_t record_path[RECORD_PATH_CAPACITY];
extern wchar_t app_library_path[APP_LIBRARY_PATH_CAPACITY];

// Set to 1 once unpacking may have put files into target_directory; the
// console handler deletes the directory only then.
extern volatile unsigned char unpack_started;

// The argument count and vector that the runtime parsed at entry.
int launcher_argc();
wchar_t** launcher_argv();
