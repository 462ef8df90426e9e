#include "target/time_values.h"

#include <windows.h>

#include <stdio.h>

#include "target/pinned_values.h"
#include "target/scratch_value.h"
#include "target/time_values_testing.h"

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
