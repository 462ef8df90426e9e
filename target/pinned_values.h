// RANDOM, TIME_US and TIME are computed once and pinned in the environment,
// so that later expansions, in this process or in one that inherits its
// environment, name the same directory.
#pragma once

#include "target/spec_output.h"

// Appends the value pinned in variable, taken as it is, unchecked: it is
// whatever the process that computed it used. False when none is pinned.
bool append_pinned_value(spec_output* output, const char* variable);
// Pins a freshly computed value in variable and appends it.
void pin_and_append(spec_output* output, const char* variable, const wchar_t* value);
