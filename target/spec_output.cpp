#include "target/spec_output.h"

#include <stdlib.h>

size_t spec_output_room(const spec_output* output) {
  return output->capacity - output->used - 1;
}

wchar_t* spec_output_end(spec_output* output) { return output->text + output->used; }

bool append_spec_literal(spec_output* output, wchar_t unit) {
  if (spec_output_room(output) == 0) return false;
  output->text[output->used++] = unit;
  output->text[output->used] = L'\0';
  return true;
}

void append_spec_value(spec_output* output, const wchar_t* value) {
  size_t length = wcslen(value);
  if (length > spec_output_room(output)) abort();
  wmemcpy(spec_output_end(output), value, length + 1);
  output->used += length;
}

void adopt_written_value(spec_output* output) {
  size_t length = wcslen(spec_output_end(output));
  if (length > spec_output_room(output)) abort();
  output->used += length;
}

void remove_trailing_backslashes(spec_output* output) {
  while (output->used > 0 && output->text[output->used - 1] == L'\\') {
    output->text[--output->used] = L'\0';
  }
}
