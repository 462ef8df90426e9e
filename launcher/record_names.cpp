#include "launcher/record_names.h"

#include <stdint.h>
#include <wchar.h>

#include "attached/attached_reader.h"
#include "common/record_name_rule.h"
#include "common/error_reporting.h"
#include "common/launch_state.h"

wchar_t record_name[RECORD_NAME_CAPACITY];

bool record_name_is_safe(const wchar_t* name) {
  return is_storable_record_name(name, wcslen(name));
}

void read_record_name() {
  for (size_t length = 0;; ++length) {
    uint16_t unit = 0;
    read_attached_bytes(&unit, sizeof unit);
    // No packer writes a longer name, so the stream is damaged: it is
    // refused like every other damage, not taken for a full buffer.
    if (length == RECORD_NAME_CAPACITY - 1 && unit != 0) fail_with_message(MESSAGE_DECODE_FAILED);
    record_name[length] = static_cast<wchar_t>(unit);
    if (unit == 0) break;
  }
  // The archive is part of this executable, but a damaged or hostile one
  // must still not write or load anything outside the target directory, nor
  // anywhere else than its name says.
  if (record_name[0] != L'\0' && !record_name_is_safe(record_name)) {
    fail_with_path(MESSAGE_UNSAFE_RECORD_NAME, record_name);
  }
}
