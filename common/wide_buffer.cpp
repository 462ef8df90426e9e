#include "common/wide_buffer.h"

#include <stdlib.h>

void wide_append(wchar_t* buffer, const wchar_t* text, size_t capacity) {
  size_t used = wcslen(buffer);
  size_t length = wcslen(text);
  if (used + length + 1 > capacity) abort();
  wmemcpy(buffer + used, text, length + 1);
}

void wide_copy(wchar_t* buffer, const wchar_t* text, size_t capacity) {
  if (capacity == 0) abort();
  buffer[0] = L'\0';
  wide_append(buffer, text, capacity);
}

void wide_append_unit(wchar_t* buffer, wchar_t unit, size_t capacity) {
  size_t used = wcslen(buffer);
  if (used + 2 > capacity) abort();
  buffer[used] = unit;
  buffer[used + 1] = L'\0';
}

void append_ascii_as_wide(wchar_t* buffer, const char* text, size_t capacity) {
  for (const char* p = text; *p != '\0'; ++p) {
    char single[2] = {*p, '\0'};
    wchar_t converted[2];
    if (mbstowcs(converted, single, 2) != 1) abort();
    wide_append_unit(buffer, converted[0], capacity);
  }
}
