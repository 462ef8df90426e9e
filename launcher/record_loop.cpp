#include "launcher/record_loop.h"

#include <stdlib.h>

#include "attached/extract.h"
#include "common/launch_state.h"
#include "common/wide_buffer.h"
#include "launcher/cleanup.h"
#include "launcher/record_names.h"

static void build_record_path() {
  wide_copy(record_path, target_directory, RECORD_PATH_CAPACITY);
  wide_append_unit(record_path, L'\\', RECORD_PATH_CAPACITY);
  wide_append(record_path, record_name, RECORD_PATH_CAPACITY);
}

bool next_record() {
  read_record_name();
  if (record_name[0] == L'\0') return false;
  build_record_path();
  if (app_library_path[0] == L'\0') {
    wide_copy(app_library_path, record_path, APP_LIBRARY_PATH_CAPACITY);
  }
  return true;
}

// Once a console event has begun the clean-up, no further file is written:
// the handler deletes what exists, and a file made after its deletion would
// stay behind.
static void unpack_record() {
  lock_unpacking();
  if (console_event_cleanup_started()) {
    unlock_unpacking();
    exit(static_cast<int>(end_after_console_event()));
  }
  extract_record();
  unlock_unpacking();
}

void unpack_records() {
  while (next_record()) unpack_record();
}
