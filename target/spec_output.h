// The buffer an expansion writes into. It always holds a zero-terminated
// string, the result so far, so that a caller that gets false can still show
// how far the expansion came.
#pragma once

#include <stddef.h>
#include <wchar.h>

struct spec_output {
  wchar_t* text;
  size_t capacity;  // units, terminator included
  size_t used;      // units written, terminator excluded
};

// Units that may still receive characters, keeping one for the terminator.
size_t spec_output_room(const spec_output* output);
// The end of the text, where the next value goes.
wchar_t* spec_output_end(spec_output* output);

// False when there is no room: a literal of the spec itself is too long,
// which the caller reports.
bool append_spec_literal(spec_output* output, wchar_t unit);
// A value that does not fit aborts: the path would name a different place.
void append_spec_value(spec_output* output, const wchar_t* value);
// Takes over text that was written at the end in place (by the platform or a
// nested expansion) and is already terminated.
void adopt_written_value(spec_output* output);
// Directory values come with or without a final separator; the spec supplies
// its own, so every backslash at the end of the text goes.
void remove_trailing_backslashes(spec_output* output);
