#include "target/path_canonical.h"

#include <windows.h>

#include <stdlib.h>

typedef DWORD(WINAPI* final_path_function)(HANDLE file, LPWSTR path, DWORD capacity,
                                           DWORD flags);

// Looked up at run time: systems before Vista lack it, and the path then
// stays as it was given.
static final_path_function find_final_path_function() {
  HMODULE kernel = GetModuleHandleA("Kernel32.dll");
  if (kernel == nullptr) return nullptr;
  return reinterpret_cast<final_path_function>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "GetFinalPathNameByHandleW")));
}

static DWORD capacity_as_dword(size_t capacity) {
  if (capacity > MAXDWORD) abort();
  return static_cast<DWORD>(capacity);
}

void strip_final_path_prefix(wchar_t* path) {
  const size_t prefix_length = 4;      // two backslashes, "?", a backslash
  const size_t unc_prefix_length = 8;  // the same and "UNC\"
  // Index 5 is read only when the path reaches it.
  if (wcsncmp(path, L"\\\\?\\", prefix_length) == 0 && path[4] != L'\0' && path[5] == L':') {
    wmemmove(path, path + prefix_length, wcslen(path + prefix_length) + 1);
  }
  if (wcsncmp(path, L"\\\\?\\UNC\\", unc_prefix_length) == 0) {
    // The first two backslashes stay and become those of "\\server".
    wmemmove(path + 2, path + unc_prefix_length, wcslen(path + unc_prefix_length) + 1);
  }
}

void canonicalize_path(wchar_t* path, size_t capacity) {
  DWORD path_capacity = capacity_as_dword(capacity);
  // No access is asked for: the handle serves only to name the file, and
  // sharing everything lets it open even while the file is in use.
  HANDLE file = CreateFileW(path, /*dwDesiredAccess=*/0,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  final_path_function get_final_path = find_final_path_function();
  if (get_final_path != nullptr) {
    DWORD length = get_final_path(file, path, path_capacity,
                                  /*dwFlags=FILE_NAME_NORMALIZED|VOLUME_NAME_DOS*/ 0);
    CloseHandle(file);
    // A final path cut short would compare equal to nothing it should.
    if (length >= path_capacity) abort();
  } else {
    CloseHandle(file);
  }
  strip_final_path_prefix(path);
}
