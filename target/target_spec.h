// Expands a spec with placeholders in braces ("{TEMP}\onefile_{PID}") into a
// path. Parent and child expand the same spec to the same directory: the
// time and random values are pinned in the environment when first computed.
#pragma once

#include <stddef.h>
#include <wchar.h>

#define TARGET_SPEC L"{TEMP}\\onefile_{PID}_{TIME_US}_{RANDOM}"

// False when the spec names an unknown placeholder, a literal finds no room,
// or a folder query fails; aborts when a value does not fit.
bool expand_target_spec(wchar_t* output, const wchar_t* spec, size_t capacity);
