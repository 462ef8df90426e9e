// TIME_US and TIME: the system time's microseconds within the second and
// the whole system time, computed once and pinned in the environment.
#pragma once

#include "target/spec_output.h"

void append_time_us(spec_output* output);
void append_time(spec_output* output);
