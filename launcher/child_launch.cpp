#include "launcher/child_launch.h"

#include <wchar.h>

#include "common/environment.h"
#include "common/error_reporting.h"
#include "common/launch_state.h"
#include "common/wide_buffer.h"
#include "launcher/child_command_line.h"
#include "launcher/child_job.h"
#include "launcher/cleanup.h"
#include "launcher/leftover_sweep.h"
#include "launcher/session_end.h"

wchar_t executable_directory[EXECUTABLE_DIRECTORY_CAPACITY];

// The executable's path as the system reports it, not canonicalised: the
// application sees the directory by the name it was started from.
static wchar_t executable_path[EXECUTABLE_DIRECTORY_CAPACITY];

static void publish_executable_directory() {
  // A failed query leaves the path, and so the directory, empty.
  GetModuleFileNameW(/*hModule=*/nullptr, executable_path, EXECUTABLE_DIRECTORY_CAPACITY);
  wide_copy(executable_directory, executable_path, EXECUTABLE_DIRECTORY_CAPACITY);
  wchar_t* last_backslash = wcsrchr(executable_directory, L'\\');
  if (last_backslash != nullptr) *last_backslash = L'\0';
  set_env_ascii_name("VELDOR_ONEFILE_DIRECTORY", executable_directory);
}

// The child's own element 0 is the executable's path, so the name the
// launcher was started by reaches the application only this way. The
// runtime ends its vector with a null, which removes the variable when
// there is no element 0 at all.
static void publish_original_argv0() {
  set_env_ascii_name("VELDOR_ORIGINAL_ARGV0", launcher_argv()[0]);
}

// The child writes where the launcher writes, even when the launcher has no
// console: handles that are invalid are passed on as they are.
static STARTUPINFOW startup_with_standard_handles() {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  return startup;
}

// Only this thread closes the handle, and only after its own wait has
// returned, so the handle stays valid while a console handler waits on it
// or terminates the child.
static DWORD wait_for_child(HANDLE process) {
  WaitForSingleObject(process, INFINITE);
  DWORD exit_status = 0;
  lock_child_process();
  if (!GetExitCodeProcess(process, &exit_status)) exit_status = 1;
  CloseHandle(process);
  child_process = nullptr;
  unlock_child_process();
  return exit_status;
}

DWORD launch_child() {
  publish_executable_directory();
  publish_original_argv0();
  fill_module_path();
  STARTUPINFOW startup = startup_with_standard_handles();

  // The child is created under the guard: a console event either stops the
  // launch before the child exists or finds it in child_process, never a
  // child that nobody would stop.
  lock_child_process();
  if (console_event_cleanup_started()) {
    unlock_child_process();
    return end_after_console_event();
  }
  // Created suspended, so that it joins its job before it runs any code.
  PROCESS_INFORMATION created = {};
  BOOL started = CreateProcessW(module_path, child_command_line,
                                /*lpProcessAttributes=*/nullptr, /*lpThreadAttributes=*/nullptr,
                                /*bInheritHandles=*/TRUE, NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED,
                                /*lpEnvironment=*/nullptr, /*lpCurrentDirectory=*/nullptr,
                                &startup, &created);
  if (!started) {
    DWORD code = GetLastError();
    unlock_child_process();
    // The unpacked files stay, as after every reported failure.
    fail_with_system_error(MESSAGE_LAUNCH_FAILED, code);
  }
  hold_child_in_job(created.hProcess);
  ResumeThread(created.hThread);
  CloseHandle(created.hThread);
  child_process = created.hProcess;
  unlock_child_process();
  // Both after the child's start, which they must not delay.
  start_leftover_sweep();
  start_session_end_watch();

  DWORD exit_status = wait_for_child(created.hProcess);
  await_leftover_sweep();
  cleanup_target();
  if (console_event_cleanup_started()) return end_after_console_event();
  return exit_status;
}
