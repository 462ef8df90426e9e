#include "common/launch_state.h"

#include <stdlib.h>

wchar_t target_directory[TARGET_DIRECTORY_CAPACITY];
wchar_t own_canonical_path[OWN_CANONICAL_PATH_CAPACITY];
wchar_t record_path[RECORD_PATH_CAPACITY];
wchar_t app_library_path[APP_LIBRARY_PATH_CAPACITY];
volatile unsigned char unpack_started;

// The runtime's own count and vector, as it split the command line at
// start-up (the accessors __p___argc and __p___wargv read the same data).
int launcher_argc() { return __argc; }
wchar_t** launcher_argv() { return __wargv; }
