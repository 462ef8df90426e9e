#include "launcher/cleanup.h"

#include <shellapi.h>
#include <wchar.h>

#include "common/system_library.h"
#include "launcher/launch_state.h"

HANDLE child_process;

// Long enough for an application to finish its own work after Ctrl+C.
static const DWORD CHILD_GRACE_MS = 5000;
// A stopped application reports no failure of its own; that the run was
// interrupted shows in the launcher's status.
static const UINT TERMINATED_CHILD_EXIT_CODE = 0;
// Files that a just-ended child still holds, or that a scanner has opened,
// are normally released within these two seconds of retries.
static const int FURTHER_DELETION_ATTEMPTS = 20;
static const DWORD DELETION_RETRY_PAUSE_MS = 100;
// How often the main thread looks whether a handler is still cleaning up;
// short against the clean-up, which takes at least one shell call.
static const DWORD HANDLER_POLL_MS = 10;
// The default handling ends the process right after the handler returns;
// this only bounds the wait where the system lets the process live on.
static const DWORD SYSTEM_END_WAIT_MS = 2000;

// Slim locks need no set-up call, so a handler may take them at any moment.
static SRWLOCK child_guard = SRWLOCK_INIT;
// Held while one file is unpacked and for a whole deletion of the tree, so it
// also keeps two deletions apart: they would only fight over the same files.
static SRWLOCK unpacking_guard = SRWLOCK_INIT;
static volatile LONG console_cleanups_running;
static volatile LONG console_event_seen;
static volatile LONG deletion_requests;

// The shell takes a list of names ended by an empty one: the path, its zero
// and one more zero.
static wchar_t deletion_list[TARGET_DIRECTORY_CAPACITY + 1];

void lock_unpacking() { AcquireSRWLockExclusive(&unpacking_guard); }
void unlock_unpacking() { ReleaseSRWLockExclusive(&unpacking_guard); }

void lock_child_process() { AcquireSRWLockExclusive(&child_guard); }
void unlock_child_process() { ReleaseSRWLockExclusive(&child_guard); }

bool console_event_cleanup_started() {
  return InterlockedCompareExchange(&console_event_seen, 0, 0) != 0;
}

long target_deletion_requests() { return InterlockedCompareExchange(&deletion_requests, 0, 0); }

// The main thread, waiting on the same handle, closes it once the child has
// ended; the terminated child's end releases that wait.
static void stop_child() {
  lock_child_process();
  if (child_process != nullptr &&
      WaitForSingleObject(child_process, CHILD_GRACE_MS) != WAIT_OBJECT_0) {
    TerminateProcess(child_process, TERMINATED_CHILD_EXIT_CODE);
  }
  unlock_child_process();
}

static void request_deletion() {
  size_t length = wcslen(target_directory);
  wmemcpy(deletion_list, target_directory, length);
  deletion_list[length] = L'\0';
  deletion_list[length + 1] = L'\0';
  // Filled afresh each time: the shell may write into the request.
  SHFILEOPSTRUCTW request = {};
  request.hwnd = nullptr;
  request.wFunc = FO_DELETE;
  request.pFrom = deletion_list;
  request.pTo = L"";
  // Deleted outright, not moved to the recycle bin, and without any window.
  request.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  request.fAnyOperationsAborted = FALSE;
  request.hNameMappings = nullptr;
  request.lpszProgressTitle = L"";
  InterlockedIncrement(&deletion_requests);
  auto file_operation = reinterpret_cast<decltype(&SHFileOperationW)>(
      system_function(L"shell32.dll", "SHFileOperationW"));
  if (file_operation != nullptr) file_operation(&request);
}

// Something other than a directory at the path means the tree is gone, or
// was replaced by a file that retrying would not remove.
static bool target_directory_remains() {
  DWORD attributes = GetFileAttributesW(target_directory);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

static void delete_target_directory() {
  // The shell would read an empty name relative to the current directory.
  if (target_directory[0] == L'\0') return;
  lock_unpacking();
  request_deletion();
  for (int attempt = 0; attempt < FURTHER_DELETION_ATTEMPTS && target_directory_remains();
       ++attempt) {
    Sleep(DELETION_RETRY_PAUSE_MS);
    request_deletion();
  }
  unlock_unpacking();
}

void cleanup_target() {
  stop_child();
  if (unpack_started != 1) return;
  delete_target_directory();
}

BOOL WINAPI on_console_ctrl(DWORD control_type) {
  switch (control_type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // Counted before the event is marked, so that the main thread, once it
      // sees the mark, also sees this clean-up running.
      InterlockedIncrement(&console_cleanups_running);
      InterlockedExchange(&console_event_seen, 1);
      cleanup_target();
      InterlockedDecrement(&console_cleanups_running);
      break;
    default:
      break;
  }
  // Never handled here: the system's default handling follows and ends the
  // process.
  return FALSE;
}

DWORD end_after_console_event() {
  while (InterlockedCompareExchange(&console_cleanups_running, 0, 0) != 0) {
    Sleep(HANDLER_POLL_MS);
  }
  Sleep(SYSTEM_END_WAIT_MS);
  return CONSOLE_EVENT_EXIT_STATUS;
}
