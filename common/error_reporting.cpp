#include "common/error_reporting.h"

#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// What follows a message that carries a system error: the code and its text.
#define SYSTEM_ERROR_SUFFIX " ([Error %ld] %s)\n"

// US English, so that a line reads the same on every installation.
static const DWORD SYSTEM_TEXT_LANGUAGE = 0x409;

// A line that names a path is built whole before it is written. The paths
// hold at most 4,096 units, each written as at most six ("\ud800"), besides
// a message of a few dozen and a system text of a few hundred.
enum { PATH_LINE_CAPACITY = 6 * 4096 + 4096 };
// UTF-8 takes at most three bytes for each UTF-16 unit.
enum { PATH_LINE_UTF8_CAPACITY = 3 * PATH_LINE_CAPACITY };
// Room for the system error suffix with a long system text.
enum { SUFFIX_TEXT_CAPACITY = 4096 };

static wchar_t path_line[PATH_LINE_CAPACITY];
static size_t path_line_length;
static char path_line_utf8[PATH_LINE_UTF8_CAPACITY];

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

// Units past the capacity are dropped, keeping room for the terminator: a
// message is the process's last word and must come out even when cut.
static void append_line_unit(wchar_t unit) {
  if (path_line_length + 1 < PATH_LINE_CAPACITY) path_line[path_line_length++] = unit;
  path_line[path_line_length] = L'\0';
}

// Message texts and system texts, from the narrow side.
static void append_line_narrow(const char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    wchar_t unit = 0;
    if (MultiByteToWideChar(CP_ACP, /*dwFlags=*/0, text + i, 1, &unit, 1) != 1) unit = L'?';
    append_line_unit(unit);
  }
}

static void append_line_hex(char prefix, unsigned value, int digits) {
  static const char HEX_DIGITS[] = "0123456789abcdef";
  append_line_unit(L'\\');
  append_line_unit(static_cast<wchar_t>(prefix));
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
    append_line_unit(static_cast<wchar_t>(HEX_DIGITS[(value >> shift) & 0xF]));
  }
}

static bool is_high_surrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
static bool is_low_surrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The path whole, with every character that could break the line or that
// no stream can show written as an escape: control characters as \x0a, a
// lone half of a surrogate pair as \ud800.
static void append_line_path(const wchar_t* path) {
  for (const wchar_t* p = path; *p != L'\0'; ++p) {
    wchar_t unit = *p;
    if (unit < 0x20 || (unit >= 0x7F && unit <= 0x9F)) {
      append_line_hex('x', unit, 2);
    } else if (is_high_surrogate(unit) && is_low_surrogate(p[1])) {
      append_line_unit(unit);
      append_line_unit(*++p);
    } else if (is_high_surrogate(unit) || is_low_surrogate(unit)) {
      append_line_hex('u', unit, 4);
    } else {
      append_line_unit(unit);
    }
  }
}

// A console shows every character through the wide console call. Any other
// stream receives UTF-8 through the runtime, whose text mode ends the line
// with CR LF as it does for every other message.
static void write_path_line() {
  HANDLE stream = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stderr)));
  DWORD mode = 0;
  if (GetConsoleMode(stream, &mode)) {
    DWORD written = 0;
    for (size_t start = 0, end = 0; start < path_line_length; start = end + 1) {
      end = start;
      while (end < path_line_length && path_line[end] != L'\n') ++end;
      WriteConsoleW(stream, path_line + start, static_cast<DWORD>(end - start), &written,
                    /*lpReserved=*/nullptr);
      if (end < path_line_length) {
        WriteConsoleW(stream, L"\r\n", 2, &written, /*lpReserved=*/nullptr);
      }
    }
    return;
  }
  int bytes = WideCharToMultiByte(CP_UTF8, /*dwFlags=*/0, path_line,
                                  static_cast<int>(path_line_length), path_line_utf8,
                                  PATH_LINE_UTF8_CAPACITY, /*lpDefaultChar=*/nullptr,
                                  /*lpUsedDefaultChar=*/nullptr);
  if (bytes > 0) fwrite(path_line_utf8, 1, static_cast<size_t>(bytes), stderr);
}

// Fills the line from a format whose one "%ls" receives path, then the
// optional narrow suffix.
static void build_path_line(const char* format, const wchar_t* path, const char* suffix) {
  path_line_length = 0;
  path_line[0] = L'\0';
  const char* placeholder = strstr(format, "%ls");
  if (placeholder == nullptr) {
    append_line_narrow(format, strlen(format));
  } else {
    append_line_narrow(format, static_cast<size_t>(placeholder - format));
    append_line_path(path);
    append_line_narrow(placeholder + 3, strlen(placeholder + 3));
  }
  if (suffix != nullptr) append_line_narrow(suffix, strlen(suffix));
}

void print_error_with_code(const char* message, DWORD code) {
  fprintf(stderr, "%s" SYSTEM_ERROR_SUFFIX, message, static_cast<long>(code),
          system_text_for(code));
}

void print_path_message(const char* format, const wchar_t* path) {
  build_path_line(format, path, /*suffix=*/nullptr);
  write_path_line();
}

void fail_with_message(const char* message) {
  puts(message);
  exit(2);
}

void fail_with_path(const char* format, const wchar_t* path) {
  print_path_message(format, path);
  exit(2);
}

void fail_with_system_error(const char* message, DWORD code) {
  print_error_with_code(message, code);
  exit(2);
}

void fail_with_path_and_system_error(const char* format, const wchar_t* path, DWORD code) {
  static char suffix[SUFFIX_TEXT_CAPACITY];
  snprintf(suffix, sizeof suffix, SYSTEM_ERROR_SUFFIX, static_cast<long>(code),
           system_text_for(code));
  build_path_line(format, path, suffix);
  write_path_line();
  exit(2);
}
