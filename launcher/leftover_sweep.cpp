#include "launcher/leftover_sweep.h"

#include <wchar.h>

#include "common/launch_state.h"
#include "common/tree_deletion.h"
#include "common/wide_buffer.h"
#include "launcher/leftover_sweep_testing.h"

// The sweep runs beside the application and must not compete with it for
// the disk for long, nor hold the end of a short run: what it has not done
// within this time, the next launch does.
static const DWORD SWEEP_TIME_BUDGET_MS = 2000;
// A %TEMP% that piled up thousands of leftovers is cleared over several
// launches rather than in one.
static const int SWEEP_MAX_DIRECTORIES = 16;

// The parts of a name that the target spec makes: "onefile_", the parent's
// process id in decimal, "_", six digits of microseconds, "_", eleven units
// of the URL-safe base64 alphabet.
static const wchar_t TARGET_NAME_PREFIX[] = L"onefile_";
enum { TIME_DIGITS = 6, RANDOM_UNITS = 11 };
// The most digits a 32-bit process id has in decimal.
enum { MAX_PROCESS_ID_DIGITS = 10 };
// A name found in a listing has at most MAX_PATH units, with its terminator.
enum { CANDIDATE_PATH_CAPACITY = TARGET_DIRECTORY_CAPACITY + MAX_PATH + 1 };

static HANDLE sweep_thread;
static TreeDeletion sweep_walk;
static wchar_t sweep_directory[TARGET_DIRECTORY_CAPACITY];
static wchar_t own_name[TARGET_DIRECTORY_CAPACITY];
static wchar_t listing_pattern[EXTENDED_PATH_CAPACITY];
static wchar_t candidate_path[CANDIDATE_PATH_CAPACITY];

static bool is_digit(wchar_t unit) { return unit >= L'0' && unit <= L'9'; }

static bool is_random_unit(wchar_t unit) {
  return is_digit(unit) || (unit >= L'A' && unit <= L'Z') || (unit >= L'a' && unit <= L'z') ||
         unit == L'-' || unit == L'_';
}

DWORD target_directory_process_id(const wchar_t* name) {
  size_t prefix_length = wcslen(TARGET_NAME_PREFIX);
  if (wcsncmp(name, TARGET_NAME_PREFIX, prefix_length) != 0) return 0;
  const wchar_t* at = name + prefix_length;
  // The launcher writes its id without leading zeros, and never 0.
  if (*at == L'0') return 0;
  unsigned long long process_id = 0;
  int digits = 0;
  for (; is_digit(*at); ++at) {
    if (++digits > MAX_PROCESS_ID_DIGITS) return 0;
    process_id = process_id * 10 + static_cast<unsigned>(*at - L'0');
  }
  if (digits == 0 || process_id > 0xFFFFFFFFull || *at != L'_') return 0;
  ++at;
  // Each test stops at the terminator, so a short name is never read past.
  for (int i = 0; i < TIME_DIGITS; ++i, ++at) {
    if (!is_digit(*at)) return 0;
  }
  if (*at != L'_') return 0;
  ++at;
  for (int i = 0; i < RANDOM_UNITS; ++i, ++at) {
    if (!is_random_unit(*at)) return 0;
  }
  if (*at != L'\0') return 0;
  return static_cast<DWORD>(process_id);
}

// Anything but a clear "no such process" counts as alive: a process that
// may not be opened still owns its directory.
static bool process_is_alive(DWORD process_id) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
                               /*bInheritHandle=*/FALSE, process_id);
  if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
  // An ended process that someone still holds keeps its id until released.
  bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return alive;
}

static bool is_leftover(const WIN32_FIND_DATAW& found, const wchar_t* own) {
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
  // A link named like a leftover may point anywhere; only real directories.
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
  DWORD process_id = target_directory_process_id(found.cFileName);
  if (process_id == 0 || wcscmp(found.cFileName, own) == 0) return false;
  return !process_is_alive(process_id);
}

static bool build_candidate_path(const wchar_t* directory, const wchar_t* name) {
  size_t directory_length = wcslen(directory);
  size_t name_length = wcslen(name);
  if (directory_length + 1 + name_length + 1 > CANDIDATE_PATH_CAPACITY) return false;
  wmemcpy(candidate_path, directory, directory_length);
  candidate_path[directory_length] = L'\\';
  wmemcpy(candidate_path + directory_length + 1, name, name_length + 1);
  return true;
}

int sweep_leftovers(const wchar_t* directory, const wchar_t* own, TreeDeletion* walk) {
  if (!make_extended_path(listing_pattern, directory, EXTENDED_PATH_CAPACITY)) return 0;
  size_t used = wcslen(listing_pattern);
  size_t suffix_length = wcslen(L"\\onefile_*");
  if (used + suffix_length + 1 > EXTENDED_PATH_CAPACITY) return 0;
  wmemcpy(listing_pattern + used, L"\\onefile_*", suffix_length + 1);
  WIN32_FIND_DATAW found;
  HANDLE listing = FindFirstFileExW(listing_pattern, FindExInfoBasic, &found,
                                    FindExSearchLimitToDirectories, /*lpSearchFilter=*/nullptr,
                                    FIND_FIRST_EX_LARGE_FETCH);
  if (listing == INVALID_HANDLE_VALUE) return 0;
  int deleted = 0;
  do {
    if (tree_deletion_stopped(walk)) break;
    if (!is_leftover(found, own) || !build_candidate_path(directory, found.cFileName)) continue;
    if (delete_tree(candidate_path, walk)) ++deleted;
    if (deleted >= SWEEP_MAX_DIRECTORIES) break;
  } while (FindNextFileW(listing, &found));
  FindClose(listing);
  return deleted;
}

static DWORD WINAPI run_sweep(void*) {
  sweep_leftovers(sweep_directory, own_name, &sweep_walk);
  return 0;
}

void start_leftover_sweep() {
  const wchar_t* last_backslash = wcsrchr(target_directory, L'\\');
  if (last_backslash == nullptr) return;
  wide_copy(own_name, last_backslash + 1, TARGET_DIRECTORY_CAPACITY);
  wide_copy(sweep_directory, target_directory, TARGET_DIRECTORY_CAPACITY);
  sweep_directory[last_backslash - target_directory] = L'\0';
  sweep_walk.deadline_tick = GetTickCount64() + SWEEP_TIME_BUDGET_MS;
  sweep_thread = CreateThread(/*lpThreadAttributes=*/nullptr, /*dwStackSize=*/0, run_sweep,
                              /*lpParameter=*/nullptr, /*dwCreationFlags=*/0,
                              /*lpThreadId=*/nullptr);
}

// The sweep looks at its deadline between any two entries, so it ends
// within its budget unless a single system call blocks; the wait is bounded
// all the same, and the launch then ends without it.
void await_leftover_sweep() {
  if (sweep_thread != nullptr) WaitForSingleObject(sweep_thread, SWEEP_TIME_BUDGET_MS);
}

void stop_leftover_sweep() {
  InterlockedExchange(&sweep_walk.stop_requested, 1);
  await_leftover_sweep();
}
