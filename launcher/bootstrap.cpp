#include "launcher/bootstrap.h"

#include <errno.h>
#include <psapi.h>
#include <winternl.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "attached/attached_format.h"
#include "attached/attached_reader.h"
#include "attached/extract.h"
#include "common/environment.h"
#include "common/system_library.h"
#include "common/wide_buffer.h"
#include "launcher/app_library.h"
#include "launcher/child_launch.h"
#include "launcher/cleanup.h"
#include "launcher/error_reporting.h"
#include "launcher/launch_state.h"
#include "launcher/record_names.h"
#include "target/path_canonical.h"
#include "target/target_spec.h"

// The parent's module path is queried into a buffer of this many units: the
// classic long-path limit of module names, with its terminator.
enum { PARENT_PATH_CAPACITY = 2048 };

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

// The process that created this one, or 0 when the system does not tell.
// Asked of this process alone: a snapshot of every process on the machine
// would cost the loading child a millisecond or more before the application
// starts.
static DWORD creator_process_id() {
  auto query_process = reinterpret_cast<decltype(&NtQueryInformationProcess)>(
      system_function(L"ntdll.dll", "NtQueryInformationProcess"));
  if (query_process == nullptr) return 0;
  PROCESS_BASIC_INFORMATION basic = {};
  if (!NT_SUCCESS(query_process(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic,
                                /*ReturnLength=*/nullptr))) {
    return 0;
  }
  return static_cast<DWORD>(basic.InheritedFromUniqueProcessId);
}

// A process is the loading child exactly when VELDOR_ONEFILE_PARENT names
// the live process that created it and that runs this same executable file;
// anything else, however malformed, makes it the extracting parent. The
// loading child loads code from a directory that the environment names, so
// a variable set by anyone but the real parent must not make a child: an
// unprivileged program could otherwise start this elevated executable
// pointed at a directory of its own making.
static bool is_loading_child() {
  wchar_t* parent = get_env_copy("VELDOR_ONEFILE_PARENT");
  if (parent == nullptr || parent[0] == L'\0') return false;
  long parent_id = 0;
  if (!parse_decimal_wide(parent, &parent_id)) return false;
  if (static_cast<DWORD>(parent_id) != creator_process_id()) return false;
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
  CloseHandle(process);
  return same_executable;
}

// Fresh time and random values for this launch, and this process as the
// parent that a child will recognise.
static void prepare_parent_environment() {
  set_env_ascii_name("VELDOR_ONEFILE_START", nullptr);
  set_env_ascii_name("VELDOR_ONEFILE_TIME_US", nullptr);
  set_env_ascii_name("VELDOR_ONEFILE_RANDOM", nullptr);
  char id_text[DECIMAL_TEXT_CAPACITY];
  snprintf(id_text, sizeof id_text, "%ld", static_cast<long>(GetCurrentProcessId()));
  wchar_t id_wide[DECIMAL_TEXT_CAPACITY] = L"";
  append_ascii_as_wide(id_wide, id_text, DECIMAL_TEXT_CAPACITY);
  set_env_ascii_name("VELDOR_ONEFILE_PARENT", id_wide);
}

static void fix_target_directory() {
  bool expanded = expand_target_spec(target_directory, TARGET_SPEC, TARGET_DIRECTORY_CAPACITY);
  static wchar_t absolute[TARGET_DIRECTORY_CAPACITY];
  DWORD length = GetFullPathNameW(target_directory, TARGET_DIRECTORY_CAPACITY, absolute,
                                  /*lpFilePart=*/nullptr);
  if (length == 0 || length >= TARGET_DIRECTORY_CAPACITY) abort();
  wide_copy(target_directory, absolute, TARGET_DIRECTORY_CAPACITY);
  if (!expanded) {
    fprintf(stderr, MESSAGE_SPEC_EXPANSION_FAILED, TARGET_SPEC);
    abort();
  }
}

static void build_record_path() {
  wide_copy(record_path, target_directory, RECORD_PATH_CAPACITY);
  wide_append_unit(record_path, L'\\', RECORD_PATH_CAPACITY);
  wide_append(record_path, record_name, RECORD_PATH_CAPACITY);
}

int bootstrap_main(HINSTANCE, HINSTANCE, wchar_t*, int) {
  // Libraries are never looked up in the current directory, which an
  // unprivileged user may control.
  SetDllDirectoryW(L"");
  bool is_parent = !is_loading_child();
  if (is_parent) prepare_parent_environment();
  fix_target_directory();
  if (is_parent && !SetConsoleCtrlHandler(on_console_ctrl, /*Add=*/TRUE)) {
    fail_with_message(MESSAGE_SIGNAL_HANDLER_FAILED);
  }
  if (!has_attached_magic(attached_data)) fail_with_message(MESSAGE_NO_ATTACHED_HEADER);
  open_attached_reader();
  if (is_parent) create_target_directory();
  unpack_started = 1;

  for (;;) {
    read_record_name();
    if (record_name[0] == L'\0') break;
    build_record_path();
    if (app_library_path[0] == L'\0') {
      wide_copy(app_library_path, record_path, APP_LIBRARY_PATH_CAPACITY);
      if (!is_parent) return run_application_library();
    }
    extract_record();
  }
  if (!is_parent) fail_with_message(MESSAGE_NO_APPLICATION_LIBRARY);
  close_attached_reader();
  return static_cast<int>(launch_child());
}
