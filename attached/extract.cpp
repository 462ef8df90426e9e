#include "attached/extract.h"

#include <stdint.h>
#include <stdlib.h>
#include <windows.h>

#include "attached/attached_format.h"
#include "attached/attached_reader.h"
#include "attached/extract_testing.h"
#include "attached/private_directory.h"
#include "common/error_reporting.h"
#include "common/launch_state.h"
#include "common/wide_buffer.h"
#include "target/target_spec.h"

// Content goes to the file in pieces of this size: large enough that a
// write call per piece costs little, small enough to stay in cache.
enum { COPY_BUFFER_SIZE = 32768 };
// Same room as the record paths whose parents are created.
enum { DIRECTORY_PATH_CAPACITY = 4096 };

wchar_t* known_directories[KNOWN_DIRECTORIES_CAPACITY];
int known_directory_count;
static unsigned char copy_buffer[COPY_BUFFER_SIZE];
static bool target_directory_pending;

// The table is only a cache of existing directories: an entry whose copy
// cannot be allocated is simply not remembered.
static void remember_directory(const wchar_t* directory) {
  if (known_directory_count >= KNOWN_DIRECTORIES_CAPACITY) return;
  wchar_t* copy = _wcsdup(directory);
  if (copy != nullptr) known_directories[known_directory_count++] = copy;
}

// The home directory always exists and starts the table.
static void start_known_directories() {
  if (known_directory_count != 0) return;
  wchar_t home[DIRECTORY_PATH_CAPACITY];
  if (!expand_target_spec(home, L"{HOME}", DIRECTORY_PATH_CAPACITY)) {
    print_path_message(MESSAGE_SPEC_EXPANSION_FAILED, L"{HOME}");
    abort();
  }
  remember_directory(home);
}

bool create_directory_cached(const wchar_t* directory) {
  start_known_directories();
  for (int i = 0; i < known_directory_count; ++i) {
    if (wcscmp(known_directories[i], directory) == 0) return true;
  }
  // A bare drive such as "C:" always exists and cannot be created.
  if (wcslen(directory) == 2 && directory[1] == L':') return true;
  if (!CreateDirectoryW(directory, /*lpSecurityAttributes=*/nullptr) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    return false;
  }
  remember_directory(directory);
  return true;
}

// Tries the directory holding path first and climbs only when that fails,
// so a file in an existing directory costs at most one call.
void ensure_parent_directories(const wchar_t* path) {
  wchar_t directory[DIRECTORY_PATH_CAPACITY];
  wide_copy(directory, path, DIRECTORY_PATH_CAPACITY);
  size_t cut = wcslen(directory);
  // A backslash in the first position names the root and is never a cut.
  while (cut > 1 && directory[cut - 1] != L'\\') --cut;
  if (cut <= 1) return;
  directory[cut - 1] = L'\0';
  if (create_directory_cached(directory)) return;
  ensure_parent_directories(directory);
  create_directory_cached(directory);
}

void create_target_directory_with_first_record() { target_directory_pending = true; }

void create_target_directory() {
  ensure_parent_directories(target_directory);
  DWORD error = create_private_directory(target_directory);
  if (error != ERROR_SUCCESS) {
    fail_with_path_and_system_error(MESSAGE_TARGET_DIRECTORY_FAILED, target_directory, error);
  }
  start_known_directories();
  remember_directory(target_directory);
}

static uint64_t read_size_field() {
  unsigned char field[ATTACHED_SIZE_FIELD_LENGTH];
  read_attached_bytes(field, sizeof field);
  uint64_t size = 0;
  for (int i = ATTACHED_SIZE_FIELD_LENGTH - 1; i >= 0; --i) size = size << 8 | field[i];
  return size;
}

void extract_record() {
  uint64_t remaining = read_size_field();
  if (target_directory_pending) {
    target_directory_pending = false;
    create_target_directory();
  }
  ensure_parent_directories(record_path);
  HANDLE file = CreateFileW(record_path, GENERIC_WRITE, FILE_SHARE_WRITE,
                            /*lpSecurityAttributes=*/nullptr, CREATE_ALWAYS,
                            /*dwFlagsAndAttributes=*/0, /*hTemplateFile=*/nullptr);
  if (file == INVALID_HANDLE_VALUE) fail_with_path(MESSAGE_OPEN_FOR_WRITING_FAILED, record_path);
  while (remaining != 0) {
    DWORD piece = remaining < COPY_BUFFER_SIZE ? static_cast<DWORD>(remaining) : COPY_BUFFER_SIZE;
    read_attached_bytes(copy_buffer, piece);
    DWORD written = 0;
    BOOL ok = WriteFile(file, copy_buffer, piece, &written, /*lpOverlapped=*/nullptr);
    remaining -= piece;
    if (!ok) fail_with_system_error(MESSAGE_UNPACK_FAILED, GetLastError());
  }
  CloseHandle(file);
}
