#include "target/random_text.h"

#include <windows.h>

#include "target/pinned_values.h"
#include "target/random_text_testing.h"

uint32_t random_seed_now() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  uint64_t mixed = static_cast<uint64_t>(counter.QuadPart) ^
                   static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&counter));
  return GetCurrentProcessId() ^ static_cast<uint32_t>(mixed) ^
         static_cast<uint32_t>(mixed >> 32);
}

void random_bytes_from_seed(uint32_t seed, unsigned char bytes[RANDOM_BYTE_COUNT]) {
  // xorshift never leaves the state 0.
  uint32_t state = seed == 0 ? 1 : seed;
  for (int i = 0; i < RANDOM_BYTE_COUNT; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    bytes[i] = static_cast<unsigned char>(state);
  }
}

// URL-safe: the text becomes part of a file name.
static const char RANDOM_ALPHABET[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// Each character carries the six bits of index that the mask keeps.
static wchar_t alphabet_unit(unsigned index) {
  return static_cast<wchar_t>(RANDOM_ALPHABET[index & 63]);
}

// Three bytes give four characters; the last two bytes give three, without
// padding.
void encode_random_text(const unsigned char bytes[RANDOM_BYTE_COUNT],
                        wchar_t text[RANDOM_TEXT_CAPACITY]) {
  wchar_t* out = text;
  for (int i = 0; i < 6; i += 3) {
    unsigned group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    *out++ = alphabet_unit(group >> 18);
    *out++ = alphabet_unit(group >> 12);
    *out++ = alphabet_unit(group >> 6);
    *out++ = alphabet_unit(group);
  }
  unsigned tail = (bytes[6] << 8) | bytes[7];
  *out++ = alphabet_unit(tail >> 10);
  *out++ = alphabet_unit(tail >> 4);
  *out++ = alphabet_unit(tail << 2);
  *out = L'\0';
}

void append_random_text(spec_output* output) {
  if (append_pinned_value(output, "VELDOR_ONEFILE_RANDOM")) return;
  unsigned char bytes[RANDOM_BYTE_COUNT];
  random_bytes_from_seed(random_seed_now(), bytes);
  wchar_t text[RANDOM_TEXT_CAPACITY];
  encode_random_text(bytes, text);
  pin_and_append(output, "VELDOR_ONEFILE_RANDOM", text);
}
