#include "launcher/role_decision.h"

#include <errno.h>
#include <wchar.h>
#include <windows.h>
// After windows.h, which they build on.
#include <psapi.h>
#include <winternl.h>

#include "common/environment.h"
#include "common/launch_state.h"
#include "common/system_library.h"
#include "target/path_canonical.h"
#include "target/short_directory.h"

// The parent's module path is queried into a buffer of this many units: the
// classic long-path limit of module names, with its terminator.
enum { PARENT_PATH_CAPACITY = 2048 };
// Far deeper than any real chain of programs starting programs; it only
// ends a walk that reused process ids have bent into a loop.
enum { MAX_ANCESTOR_LINKS = 256 };

bool parse_decimal_wide(const wchar_t* text, long* value) {
  wchar_t* end = nullptr;
  errno = 0;
  long parsed = wcstol(text, &end, 10);
  if (errno == ERANGE || end == text || *end != L'\0') return false;
  *value = parsed;
  return true;
}

static void prepare_own_path() {
  if (own_canonical_path[0] != L'\0') return;
  GetModuleFileNameW(/*hModule=*/nullptr, own_canonical_path, OWN_CANONICAL_PATH_CAPACITY);
  canonicalize_path(own_canonical_path, OWN_CANONICAL_PATH_CAPACITY);
  shorten_directory_part(own_canonical_path, OWN_CANONICAL_PATH_CAPACITY);
}

static bool creation_time(HANDLE process, ULONGLONG* time) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return false;
  *time = static_cast<ULONGLONG>(created.dwHighDateTime) << 32 | created.dwLowDateTime;
  return true;
}

static bool creation_time_of(DWORD process_id, ULONGLONG* time) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, /*bInheritHandle=*/FALSE,
                               process_id);
  if (process == nullptr) return false;
  bool known = creation_time(process, time);
  CloseHandle(process);
  return known;
}

// The id of the process that created process_id, as the system recorded
// it. Asked of that one process alone: a snapshot of every process on the
// machine would cost the loading child a millisecond or more before the
// application starts.
static bool creator_of(DWORD process_id, DWORD* creator_id) {
  auto query_process = reinterpret_cast<decltype(&NtQueryInformationProcess)>(
      system_function(L"ntdll.dll", "NtQueryInformationProcess"));
  if (query_process == nullptr) return false;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, /*bInheritHandle=*/FALSE,
                               process_id);
  if (process == nullptr) return false;
  PROCESS_BASIC_INFORMATION basic = {};
  bool known = NT_SUCCESS(query_process(process, ProcessBasicInformation, &basic, sizeof basic,
                                        /*ReturnLength=*/nullptr));
  CloseHandle(process);
  if (known) *creator_id = static_cast<DWORD>(basic.InheritedFromUniqueProcessId);
  return known;
}

// Whether the chain of creators, followed upward from this process, reaches
// the process behind `named`. The system records a creator only by its id,
// which a new process may take over once the creator has ended, so every
// link must have been created no later than the process below it: a process
// that took over an id is newer than the processes its predecessor created.
// Equal times pass, as creation times have the system clock's granularity
// and a child is often created within the same tick as its parent.
static bool is_ancestor(HANDLE named, DWORD named_id) {
  ULONGLONG named_created = 0, below_created = 0;
  if (!creation_time(named, &named_created) ||
      !creation_time(GetCurrentProcess(), &below_created)) {
    return false;
  }
  DWORD below_id = GetCurrentProcessId();
  bool reached = false;
  for (int link = 0; link < MAX_ANCESTOR_LINKS; ++link) {
    DWORD creator_id = 0;
    if (!creator_of(below_id, &creator_id)) break;
    if (creator_id == named_id) {
      reached = named_created <= below_created;
      break;
    }
    ULONGLONG creator_created = 0;
    if (!creation_time_of(creator_id, &creator_created) || creator_created > below_created) break;
    below_id = creator_id;
    below_created = creator_created;
  }
  return reached;
}

// The loading child loads code from a directory that the environment names,
// so the environment alone must not make one: a variable set by anyone but
// a running launch of this file would let an unprivileged program start
// this elevated executable pointed at a directory of its own making. A
// process that a launch started, directly or through the application's own
// programs, inherits the variable and belongs to that launch; it reuses the
// running directory.
bool is_loading_child() {
  wchar_t* parent = get_env_copy("VELDOR_ONEFILE_PARENT");
  if (parent == nullptr || parent[0] == L'\0') return false;
  long parent_id = 0;
  if (!parse_decimal_wide(parent, &parent_id)) return false;
  // The handle keeps the named process, and so its id, from going away
  // while it is examined.
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ,
                               /*bInheritHandle=*/FALSE, static_cast<DWORD>(parent_id));
  if (process == nullptr) return false;
  wchar_t parent_path[PARENT_PATH_CAPACITY] = L"";
  DWORD length = K32GetModuleFileNameExW(process, /*hModule=*/nullptr, parent_path,
                                         PARENT_PATH_CAPACITY);
  if (length != 0) {
    canonicalize_path(parent_path, PARENT_PATH_CAPACITY);
    shorten_directory_part(parent_path, PARENT_PATH_CAPACITY);
  }
  prepare_own_path();
  bool same_executable = length != 0 && wcscmp(parent_path, own_canonical_path) == 0;
  bool related = same_executable && is_ancestor(process, static_cast<DWORD>(parent_id));
  CloseHandle(process);
  return related;
}
