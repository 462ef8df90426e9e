#include "launcher/error_reporting.h"

#include <stdio.h>
#include <stdlib.h>

// US English, so that a line reads the same on every installation.
static const DWORD SYSTEM_TEXT_LANGUAGE = 0x409;

void print_error_with_code(const char* message, DWORD code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
          FORMAT_MESSAGE_FROM_SYSTEM,
      /*lpSource=*/nullptr, code, SYSTEM_TEXT_LANGUAGE,
      reinterpret_cast<char*>(&text), /*nSize=*/0, /*Arguments=*/nullptr);
  const char* shown = UNKNOWN_SYSTEM_ERROR_TEXT;
  if (length != 0 && text != nullptr) {
    // The system ends its texts with a line break; the line has its own.
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) {
      text[--length] = '\0';
    }
    shown = text;
  }
  // The system's buffer is not released: the process ends right after.
  fprintf(stderr, "%s ([Error %ld] %s)\n", message, static_cast<long>(code), shown);
}

void fail_with_message(const char* message) {
  puts(message);
  exit(2);
}

void fail_with_path(const char* format, const wchar_t* path) {
  fprintf(stderr, format, path);
  exit(2);
}

void fail_with_system_error(const char* message, DWORD code) {
  print_error_with_code(message, code);
  exit(2);
}
