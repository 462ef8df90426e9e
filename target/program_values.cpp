// Argument 0 exactly as the runtime split the command line, which need hold
// neither a directory nor an extension.
#include "target/program_values.h"

#include <stdlib.h>
#include <string.h>

void append_program(spec_output* output) {
  // The runtime's own vector, as it split the command line at start-up (the
  // import library offers it as __wargv; __p___wargv reads the same data).
  wchar_t** argv = __wargv;
  if (argv == nullptr || argv[0] == nullptr) abort();
  append_spec_value(output, argv[0]);
}

// Writes PROGRAM at the end of the output, so that the derived values obey
// its room rule (a value that does not fit aborts), and returns where it
// starts; the caller then cuts it.
static wchar_t* append_program_at_end(spec_output* output) {
  wchar_t* start = spec_output_end(output);
  append_program(output);
  return start;
}

static void cut_output_at(spec_output* output, wchar_t* position) {
  *position = L'\0';
  output->used = static_cast<size_t>(position - output->text);
}

void append_program_base(spec_output* output) {
  wchar_t* program = append_program_at_end(output);
  size_t length = wcslen(program);
  const size_t extension_length = 4;  // ".exe"
  if (length >= extension_length &&
      _wcsicmp(program + length - extension_length, L".exe") == 0) {
    cut_output_at(output, program + length - extension_length);
  }
}

void append_program_directory(spec_output* output) {
  wchar_t* program = append_program_at_end(output);
  // Only backslashes separate: a forward slash is left as part of a name.
  wchar_t* last_backslash = wcsrchr(program, L'\\');
  if (last_backslash != nullptr) cut_output_at(output, last_backslash);
}
