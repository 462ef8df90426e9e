#include "launcher/bootstrap.h"

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "attached/attached_format.h"
#include "attached/attached_reader.h"
#include "attached/extract.h"
#include "attached/linked_block.h"
#include "common/environment.h"
#include "common/error_reporting.h"
#include "common/launch_state.h"
#include "common/wide_buffer.h"
#include "launcher/app_library.h"
#include "launcher/child_command_line.h"
#include "launcher/child_launch.h"
#include "launcher/cleanup.h"
#include "launcher/record_loop.h"
#include "launcher/role_decision.h"
#include "target/target_spec.h"

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
    print_path_message(MESSAGE_SPEC_EXPANSION_FAILED, TARGET_SPEC);
    abort();
  }
}

int bootstrap_main(HINSTANCE, HINSTANCE, wchar_t*, int) {
  // Libraries are never looked up in the current directory, which an
  // unprivileged user may control.
  SetDllDirectoryW(L"");
  bool is_parent = !is_loading_child();
  if (is_parent) {
    prepare_parent_environment();
    // Arguments that the system could not pass on whole are refused before
    // anything is written.
    build_child_command_line();
  }
  fix_target_directory();
  if (is_parent && !SetConsoleCtrlHandler(on_console_ctrl, /*Add=*/TRUE)) {
    fail_with_message(MESSAGE_SIGNAL_HANDLER_FAILED);
  }
  if (!has_attached_magic(attached_block.data)) fail_with_message(MESSAGE_NO_ATTACHED_HEADER);
  open_attached_reader();
  unpack_started = 1;
  if (!is_parent) {
    if (!next_record()) fail_with_message(MESSAGE_NO_APPLICATION_LIBRARY);
    return run_application_library();
  }
  // Made with the first file, so that data which fails before it leaves no
  // empty directory behind.
  create_target_directory_with_first_record();
  unpack_records();
  // The application must never run on other data than was packed: the
  // frame ends right after the terminator, and its checksum matches.
  finish_attached_frame();
  close_attached_reader();
  return static_cast<int>(launch_child());
}
