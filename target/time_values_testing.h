// The TIME_US value's formatting, for its fixed cases.
#pragma once

#include <stdint.h>

#include "common/wide_buffer.h"

// The microseconds within the current second of a system time (a count of
// 100-nanosecond intervals), always 6 digits.
void format_microseconds_within_second(int64_t system_time, char text[DECIMAL_TEXT_CAPACITY]);
