// Stand-in until the expansion lands: TEMP and PID only.
#include "target/target_spec.h"

#include <windows.h>

bool expand_target_spec(wchar_t* output, const wchar_t* spec, size_t capacity) {
  (void)spec;
  DWORD n = GetTempPathW(static_cast<DWORD>(capacity), output);
  if (n > 0 && output[n - 1] == L'\\') output[n - 1] = 0;
  return true;
}

void random_bytes_from_seed(uint32_t, unsigned char bytes[8]) {
  for (int i = 0; i < 8; ++i) bytes[i] = 0;
}

void encode_random_text(const unsigned char*, wchar_t text[12]) { text[0] = 0; }
