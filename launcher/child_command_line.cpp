// The child's command line, built so that the child's runtime splits it into
// the arguments that the launcher's own command line holds.
#include "launcher/child_launch.h"

#include <shellapi.h>
#include <stdlib.h>
#include <wchar.h>

#include "common/system_library.h"

wchar_t child_command_line[CHILD_COMMAND_LINE_CAPACITY];

// Appends by position, so that a long command line is not scanned for its
// end again at every unit. A command line that does not fit aborts, like
// every fixed buffer: cut short, it would hand the child other arguments.
static void append_unit_at(size_t* length, wchar_t unit) {
  if (*length + 2 > CHILD_COMMAND_LINE_CAPACITY) abort();
  child_command_line[*length] = unit;
  child_command_line[++*length] = L'\0';
}

static void append_backslashes_at(size_t* length, size_t count) {
  for (size_t i = 0; i < count; ++i) append_unit_at(length, L'\\');
}

// Blank, tab, line feed and vertical tab split arguments, a double quote
// starts or ends a quoted part: an argument without them reads back as it is.
static bool needs_quotes(const wchar_t* argument) {
  return wcspbrk(argument, L" \t\n\v\"") != nullptr;
}

// Backslashes are literal except in a run that ends at a double quote, where
// each pair gives one backslash and an odd one makes the quote literal.
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
  // The shell library is loaded here, in the parent alone: the loading child
  // never splits a command line of its own.
  auto command_line_to_argv = reinterpret_cast<decltype(&CommandLineToArgvW)>(
      system_function(L"shell32.dll", "CommandLineToArgvW"));
  int count = 0;
  wchar_t** arguments =
      command_line_to_argv == nullptr ? nullptr : command_line_to_argv(GetCommandLineW(), &count);
  // The split fails only for lack of memory or of the system's own library;
  // like a missing module path, it leaves nothing to start the child with,
  // and the target directory stays as every failure leaves it.
  if (arguments == nullptr) abort();
  size_t length = 0;
  child_command_line[0] = L'\0';
  // Element 0 becomes the executable's own path: the child must start this
  // very file, whatever name the launcher was started by.
  append_quoted_argument_at(&length, module_path);
  for (int i = 1; i < count; ++i) {
    append_unit_at(&length, L' ');
    append_quoted_argument_at(&length, arguments[i]);
  }
  // The split vector is never released: it lives as long as the process.
}
