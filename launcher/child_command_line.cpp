#include "launcher/child_command_line.h"

#include <stdlib.h>
#include <wchar.h>

#include "common/error_reporting.h"
#include "common/launch_state.h"

wchar_t child_command_line[CHILD_COMMAND_LINE_CAPACITY];
wchar_t module_path[MODULE_PATH_CAPACITY];

void fill_module_path() {
  if (module_path[0] != L'\0') return;
  DWORD length = GetModuleFileNameW(/*hModule=*/nullptr, module_path, MODULE_PATH_CAPACITY);
  // A path that fills the buffer was cut short and would start another file.
  if (length == 0 || length >= MODULE_PATH_CAPACITY) abort();
}

// Appends by position, so that a long command line is not scanned for its
// end again at every unit. The system would cut a longer command line, and
// the child would run with other arguments than were given.
static void append_unit_at(size_t* length, wchar_t unit) {
  if (*length + 2 > CHILD_COMMAND_LINE_CAPACITY) fail_with_message(MESSAGE_COMMAND_LINE_TOO_LONG);
  child_command_line[*length] = unit;
  child_command_line[++*length] = L'\0';
}

static void append_backslashes_at(size_t* length, size_t count) {
  for (size_t i = 0; i < count; ++i) append_unit_at(length, L'\\');
}

// Blank, tab, line feed and vertical tab split arguments, a double quote
// starts or ends a quoted part: an argument without them reads back as it
// is. An empty argument needs its quotes, or it would be no argument at all.
static bool needs_quotes(const wchar_t* argument) {
  return argument[0] == L'\0' || wcspbrk(argument, L" \t\n\v\"") != nullptr;
}

// The inverse of the runtime's splitting, after Microsoft's documented
// rules in "Parsing C++ command-line arguments": arguments are delimited by
// white space; a double-quoted part may hold white space; 2n backslashes
// followed by a double quote give n backslashes and a delimiting quote,
// 2n+1 backslashes followed by one give n backslashes and a literal quote;
// backslashes anywhere else are literal. So every double quote is written
// as \" after its backslashes are doubled, a run that ends the argument is
// doubled before the closing quote, and other runs stay as they are. No two
// quotes ever stand together inside the quoted part, where the runtimes of
// different ages disagree on what a doubled quote means.
static void append_quoted_argument_at(size_t* length, const wchar_t* argument) {
  if (!needs_quotes(argument)) {
    for (const wchar_t* unit = argument; *unit != L'\0'; ++unit) append_unit_at(length, *unit);
    return;
  }
  append_unit_at(length, L'"');
  size_t pending_backslashes = 0;
  for (const wchar_t* unit = argument;; ++unit) {
    if (*unit == L'\\') {
      ++pending_backslashes;
      continue;
    }
    if (*unit == L'\0') {
      // The closing quote follows, so the run must read back as itself.
      append_backslashes_at(length, 2 * pending_backslashes);
      append_unit_at(length, L'"');
      return;
    }
    if (*unit == L'"') {
      append_backslashes_at(length, 2 * pending_backslashes + 1);
    } else {
      append_backslashes_at(length, pending_backslashes);
    }
    append_unit_at(length, *unit);
    pending_backslashes = 0;
  }
}

void append_quoted_argument(const wchar_t* argument) {
  size_t length = wcslen(child_command_line);
  append_quoted_argument_at(&length, argument);
}

void build_child_command_line() {
  fill_module_path();
  size_t length = 0;
  child_command_line[0] = L'\0';
  // Element 0 becomes the executable's own path: the child must start this
  // very file, whatever name the launcher was started by. A path holds no
  // double quote, so the runtime's own rule for element 0 (quotes delimit,
  // backslashes are literal) reads it back as written.
  append_quoted_argument_at(&length, module_path);
  // The arguments come from the runtime's own split of this process's
  // command line: the child runs the same runtime, which splits the line
  // written here back into the same arguments, so the application receives
  // what any program of this runtime started by the user's command line
  // receives. A second splitter would disagree with it on some lines.
  wchar_t** arguments = launcher_argv();
  for (int i = 1; i < launcher_argc(); ++i) {
    append_unit_at(&length, L' ');
    append_quoted_argument_at(&length, arguments[i]);
  }
}
