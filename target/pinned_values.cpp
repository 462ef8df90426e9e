#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "common/environment.h"
#include "target/pinned_values.h"
#include "target/placeholder_values.h"
#include "target/target_spec.h"

// A value already pinned is taken as it is, unchecked: it is whatever the
// process that computed it used.
static bool append_pinned_value(spec_output* output, const char* variable) {
  wchar_t* pinned = get_env_copy(variable);
  if (pinned == nullptr) return false;
  append_spec_value(output, pinned);
  free(pinned);
  return true;
}

static void pin_and_append(spec_output* output, const char* variable, const wchar_t* value) {
  set_env_ascii_name(variable, value);
  append_spec_value(output, value);
}

static int64_t read_system_time() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) |
                              now.dwLowDateTime);
}

void format_microseconds_within_second(int64_t system_time, char text[DECIMAL_TEXT_CAPACITY]) {
  const int64_t intervals_per_microsecond = 10;
  const int64_t microseconds_per_second = 1000000;
  long microseconds =
      static_cast<long>((system_time / intervals_per_microsecond) % microseconds_per_second);
  snprintf(text, DECIMAL_TEXT_CAPACITY, "%06ld", microseconds);
}

void append_random_text(spec_output* output) {
  if (append_pinned_value(output, "VELDOR_ONEFILE_RANDOM")) return;
  unsigned char bytes[RANDOM_BYTE_COUNT];
  random_bytes_from_seed(random_seed_now(), bytes);
  wchar_t text[RANDOM_TEXT_CAPACITY];
  encode_random_text(bytes, text);
  pin_and_append(output, "VELDOR_ONEFILE_RANDOM", text);
}

void append_time_us(spec_output* output) {
  if (append_pinned_value(output, "VELDOR_ONEFILE_TIME_US")) return;
  char text[DECIMAL_TEXT_CAPACITY];
  format_microseconds_within_second(read_system_time(), text);
  pin_and_append(output, "VELDOR_ONEFILE_TIME_US", decimal_text_as_wide(text));
}

void append_time(spec_output* output) {
  if (append_pinned_value(output, "VELDOR_ONEFILE_START")) return;
  char text[DECIMAL_TEXT_CAPACITY];
  snprintf(text, sizeof text, "%lld", static_cast<long long>(read_system_time()));
  pin_and_append(output, "VELDOR_ONEFILE_START", decimal_text_as_wide(text));
}
