#include "launcher/app_library.h"

#include <windows.h>

#include "common/error_reporting.h"
#include "common/launch_state.h"

// The library's own dependencies come from its directory, the target
// directory and the system directory, never from the current directory or
// the search path.
static const DWORD APP_LIBRARY_SEARCH_FLAGS = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR |
                                              LOAD_LIBRARY_SEARCH_USER_DIRS |
                                              LOAD_LIBRARY_SEARCH_SYSTEM32;

int run_application_library() {
  // The cookie is never needed: the directory stays for the whole process.
  AddDllDirectory(target_directory);
  HMODULE library = LoadLibraryExW(app_library_path, /*hFile=*/nullptr, APP_LIBRARY_SEARCH_FLAGS);
  if (library == nullptr) fail_with_system_error(MESSAGE_LOAD_DLL_FAILED, GetLastError());
  FARPROC entry = GetProcAddress(library, "run_code");
  if (entry == nullptr) fail_with_message(MESSAGE_NO_ENTRY_POINT);
  run_code_function run_code = reinterpret_cast<run_code_function>(reinterpret_cast<void*>(entry));
  return run_code(launcher_argc(), launcher_argv(), app_library_path);
}
