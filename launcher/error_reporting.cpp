#include "launcher/error_reporting.h"

#include <stdio.h>
#include <stdlib.h>

// What follows a message that carries a system error: the code and its text.
#define SYSTEM_ERROR_SUFFIX " ([Error %ld] %s)\n"

// US English, so that a line reads the same on every installation.
static const DWORD SYSTEM_TEXT_LANGUAGE = 0x409;

// The system's US-English text for code, without the line break the system
// ends it with. The system's buffer is not released: the process ends right
// after the message.
static const char* system_text_for(DWORD code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
          FORMAT_MESSAGE_FROM_SYSTEM,
      /*lpSource=*/nullptr, code, SYSTEM_TEXT_LANGUAGE,
      reinterpret_cast<char*>(&text), /*nSize=*/0, /*Arguments=*/nullptr);
  if (length == 0 || text == nullptr) return UNKNOWN_SYSTEM_ERROR_TEXT;
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) {
    text[--length] = '\0';
  }
  return text;
}

void print_error_with_code(const char* message, DWORD code) {
  fprintf(stderr, "%s" SYSTEM_ERROR_SUFFIX, message, static_cast<long>(code),
          system_text_for(code));
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

void fail_with_path_and_system_error(const char* format, const wchar_t* path, DWORD code) {
  const char* text = system_text_for(code);
  fprintf(stderr, format, path);
  fprintf(stderr, SYSTEM_ERROR_SUFFIX, static_cast<long>(code), text);
  exit(2);
}
