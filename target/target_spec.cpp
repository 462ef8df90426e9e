#include "target/target_spec.h"

#include <stdlib.h>

#include "target/directory_values.h"
#include "target/process_id_value.h"
#include "target/program_values.h"
#include "target/random_text.h"
#include "target/spec_output.h"
#include "target/time_values.h"

// Far more than the longest name (12 characters) needs, so that a mistyped
// name still arrives whole for the comparison; a name that outgrows it cannot
// match and is only counted, never stored.
enum { PLACEHOLDER_NAME_CAPACITY = 1024 };

static wchar_t placeholder_name[PLACEHOLDER_NAME_CAPACITY];

enum placeholder {
  PLACEHOLDER_TEMP,
  PLACEHOLDER_PROGRAM,
  PLACEHOLDER_PROGRAM_BASE,
  PLACEHOLDER_PROGRAM_DIR,
  PLACEHOLDER_PID,
  PLACEHOLDER_HOME,
  PLACEHOLDER_CACHE_DIR,
  PLACEHOLDER_RANDOM,
  PLACEHOLDER_TIME_US,
  PLACEHOLDER_TIME,
  PLACEHOLDER_UNKNOWN
};

static const wchar_t* const PLACEHOLDER_NAMES[PLACEHOLDER_UNKNOWN] = {
    L"TEMP", L"PROGRAM", L"PROGRAM_BASE", L"PROGRAM_DIR", L"PID",
    L"HOME", L"CACHE_DIR", L"RANDOM", L"TIME_US", L"TIME"};

static placeholder find_placeholder(const wchar_t* name) {
  for (int i = 0; i < PLACEHOLDER_UNKNOWN; ++i) {
    if (_wcsicmp(name, PLACEHOLDER_NAMES[i]) == 0) return static_cast<placeholder>(i);
  }
  return PLACEHOLDER_UNKNOWN;
}

static bool append_placeholder(spec_output* output, placeholder which) {
  switch (which) {
    case PLACEHOLDER_TEMP: return append_temp_directory(output);
    case PLACEHOLDER_PROGRAM: append_program(output); return true;
    case PLACEHOLDER_PROGRAM_BASE: append_program_base(output); return true;
    case PLACEHOLDER_PROGRAM_DIR: append_program_directory(output); return true;
    case PLACEHOLDER_PID: append_process_id(output); return true;
    case PLACEHOLDER_HOME: return append_profile_directory(output);
    case PLACEHOLDER_CACHE_DIR: return append_local_app_data_directory(output);
    case PLACEHOLDER_RANDOM: append_random_text(output); return true;
    case PLACEHOLDER_TIME_US: append_time_us(output); return true;
    case PLACEHOLDER_TIME: append_time(output); return true;
    case PLACEHOLDER_UNKNOWN: break;
  }
  return false;
}

static void add_name_unit(size_t* name_length, wchar_t unit) {
  if (*name_length < PLACEHOLDER_NAME_CAPACITY - 1) placeholder_name[*name_length] = unit;
  ++*name_length;
}

// An over-long name is no placeholder: it is reported like an unknown one.
static bool append_named_value(spec_output* output, size_t name_length) {
  if (name_length >= PLACEHOLDER_NAME_CAPACITY) return false;
  placeholder_name[name_length] = L'\0';
  return append_placeholder(output, find_placeholder(placeholder_name));
}

bool expand_target_spec(wchar_t* output, const wchar_t* spec, size_t capacity) {
  if (capacity == 0) abort();
  spec_output result = {output, capacity, 0};
  output[0] = L'\0';
  bool in_name = false;
  size_t name_length = 0;
  for (const wchar_t* unit = spec; *unit != L'\0'; ++unit) {
    if (*unit == L'{') {
      // A brace inside a name starts it afresh: "{a{TIME}" means "{TIME}".
      in_name = true;
      name_length = 0;
    } else if (!in_name) {
      // A lone "}" is an ordinary file name character, kept like any other.
      if (!append_spec_literal(&result, *unit)) return false;
    } else if (*unit != L'}') {
      add_name_unit(&name_length, *unit);
    } else {
      in_name = false;
      if (!append_named_value(&result, name_length)) return false;
    }
  }
  // A name still open at the end is dropped: "x{PID" gives "x".
  return true;
}
