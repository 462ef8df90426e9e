// Fixed-capacity wide path buffers. A capacity counts UTF-16 units and
// includes the terminating zero; every operation that would not leave room
// for the terminator ends the process with abort(), without a message,
// because a truncated path would name a different file.
#pragma once

#include <stddef.h>
#include <wchar.h>

void wide_copy(wchar_t* buffer, const wchar_t* text, size_t capacity);
void wide_append(wchar_t* buffer, const wchar_t* text, size_t capacity);
void wide_append_unit(wchar_t* buffer, wchar_t unit, size_t capacity);

// Appends an 8-bit text, converting each byte on its own with mbstowcs; a byte
// that does not give exactly one wide character aborts like an overflow.
void append_ascii_as_wide(wchar_t* buffer, const char* text, size_t capacity);

// Environment variable names are at most a few dozen ASCII characters.
enum { ENV_NAME_CAPACITY = 40 };
// Room for any decimal rendering of a 64-bit number, with generous slack.
enum { DECIMAL_TEXT_CAPACITY = 128 };
