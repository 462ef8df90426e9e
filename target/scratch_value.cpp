#include "target/scratch_value.h"

#include "common/wide_buffer.h"

wchar_t scratch_value[SCRATCH_VALUE_CAPACITY];

const wchar_t* decimal_text_as_wide(const char* text) {
  scratch_value[0] = L'\0';
  append_ascii_as_wide(scratch_value, text, DECIMAL_TEXT_CAPACITY);
  return scratch_value;
}
