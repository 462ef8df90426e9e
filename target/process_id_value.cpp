// The parent puts its id into VELDOR_ONEFILE_PARENT before it expands and
// the child inherits it, so that both name the same directory.
#include "target/process_id_value.h"

#include <windows.h>

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <wctype.h>

#include "common/environment.h"
#include "common/wide_buffer.h"  // DECIMAL_TEXT_CAPACITY
#include "target/scratch_value.h"

// Anything but digits would put text of unknown origin into the path.
static void abort_unless_all_digits(const wchar_t* text) {
  for (const wchar_t* unit = text; *unit != L'\0'; ++unit) {
    if (!iswctype(*unit, _DIGIT)) abort();
  }
}

void append_process_id(spec_output* output) {
  wchar_t* parent = get_env_copy("VELDOR_ONEFILE_PARENT");
  if (parent != nullptr) {
    abort_unless_all_digits(parent);
    // Unchanged, leading zeros included: the child reads the same text.
    append_spec_value(output, parent);
    free(parent);
    return;
  }
  char text[DECIMAL_TEXT_CAPACITY];
  snprintf(text, sizeof text, "%ld", static_cast<long>(GetCurrentProcessId()));
  append_spec_value(output, decimal_text_as_wide(text));
}
