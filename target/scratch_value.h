// Receives a folder path or a formatted number before it is appended.
#pragma once

#include <wchar.h>

// Folder queries write at most MAX_PATH units; 1024 leaves room for any
// number too.
enum { SCRATCH_VALUE_CAPACITY = 1024 };
extern wchar_t scratch_value[SCRATCH_VALUE_CAPACITY];

// Puts a formatted number (ASCII) into scratch_value as wide text.
const wchar_t* decimal_text_as_wide(const char* text);
