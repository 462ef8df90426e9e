// RANDOM, TIME_US and TIME are computed once and pinned in the environment,
// so that later expansions, in this process or in one that inherits its
// environment, name the same directory.
#pragma once

#include <stdint.h>

#include "common/wide_buffer.h"

// The microseconds within the current second of a system time (a count of
// 100-nanosecond intervals), always 6 digits.
void format_microseconds_within_second(int64_t system_time, char text[DECIMAL_TEXT_CAPACITY]);
// The seed of a computed RANDOM: counter, a stack address and the process id
// mixed, so that two launches in one counter tick still differ.
uint32_t random_seed_now();
