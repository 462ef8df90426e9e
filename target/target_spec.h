// Expands a spec with placeholders in braces ("{TEMP}\onefile_{PID}") into a
// path. Parent and child expand the same spec to the same directory: the
// time and random values are pinned in the environment when first computed.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#define TARGET_SPEC L"{TEMP}\\onefile_{PID}_{TIME_US}_{RANDOM}"

// False when the spec names an unknown placeholder, a literal finds no room,
// or a folder query fails; aborts when a value does not fit.
bool expand_target_spec(wchar_t* output, const wchar_t* spec, size_t capacity);

// RANDOM carries 64 random bits, written as 11 base64 characters and a
// terminator.
enum { RANDOM_BYTE_COUNT = 8, RANDOM_TEXT_CAPACITY = 12 };

// The RANDOM value's parts, exposed for their fixed test vectors.
void random_bytes_from_seed(uint32_t seed, unsigned char bytes[RANDOM_BYTE_COUNT]);
void encode_random_text(const unsigned char bytes[RANDOM_BYTE_COUNT],
                        wchar_t text[RANDOM_TEXT_CAPACITY]);
