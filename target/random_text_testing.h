// The RANDOM value's parts, for their fixed test vectors.
#pragma once

#include <stdint.h>
#include <wchar.h>

// RANDOM carries 64 random bits, written as 11 base64 characters and a
// terminator.
enum { RANDOM_BYTE_COUNT = 8, RANDOM_TEXT_CAPACITY = 12 };

// The seed of a computed RANDOM: counter, a stack address and the process id
// mixed, so that two launches in one counter tick still differ.
uint32_t random_seed_now();
void random_bytes_from_seed(uint32_t seed, unsigned char bytes[RANDOM_BYTE_COUNT]);
void encode_random_text(const unsigned char bytes[RANDOM_BYTE_COUNT],
                        wchar_t text[RANDOM_TEXT_CAPACITY]);
