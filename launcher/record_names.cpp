#include "launcher/record_names.h"

#include <stdint.h>
#include <stdlib.h>

#include "attached/attached_reader.h"
#include "launcher/error_reporting.h"
#include "launcher/launch_state.h"

bool record_name_is_safe(const wchar_t* name) {
  const wchar_t* component = name;
  for (const wchar_t* p = name;; ++p) {
    if (*p == L'/' || *p == L':') return false;
    if (*p == L'\\' || *p == L'\0') {
      size_t length = static_cast<size_t>(p - component);
      if (length == 0) return false;
      if (component[0] == L'.' && (length == 1 || (length == 2 && component[1] == L'.'))) {
        return false;
      }
      if (*p == L'\0') return true;
      component = p + 1;
    }
  }
}

void read_record_name() {
  for (size_t length = 0;; ++length) {
    uint16_t unit = 0;
    read_attached_bytes(&unit, sizeof unit);
    if (length == RECORD_NAME_CAPACITY - 1 && unit != 0) abort();
    record_name[length] = static_cast<wchar_t>(unit);
    if (unit == 0) break;
  }
  // The archive is part of this executable, but a damaged or hostile one
  // must still not write or load anything outside the target directory.
  if (record_name[0] != L'\0' && !record_name_is_safe(record_name)) {
    fail_with_path(MESSAGE_UNSAFE_RECORD_NAME, record_name);
  }
}
