#include "common/wide_buffer.h"
#include "target/placeholder_values.h"

wchar_t scratch_value[SCRATCH_VALUE_CAPACITY];

void append_decimal_text(spec_output* output, const char* text) {
  scratch_value[0] = L'\0';
  append_ascii_as_wide(scratch_value, text, DECIMAL_TEXT_CAPACITY);
  append_spec_value(output, scratch_value);
}
