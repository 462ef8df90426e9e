#include "target/short_directory.h"

#include <windows.h>

#include <stdlib.h>

#include "common/wide_buffer.h"

// Replaces directory (the whole buffer) by its short form when it has one.
static void replace_by_short_form(wchar_t* directory, size_t capacity) {
  DWORD needed = GetShortPathNameW(directory, /*lpszShortPath=*/nullptr, /*cchBuffer=*/0);
  if (needed == 0) return;  // no short form to offer, e.g. it does not exist
  wchar_t* short_form = static_cast<wchar_t*>(malloc((needed + 1) * sizeof(wchar_t)));
  if (short_form == nullptr) abort();
  DWORD length = GetShortPathNameW(directory, short_form, needed);
  if (length > needed) abort();
  // 0 means the directory went away since the first call, and a length that
  // leaves no room for the terminator is no finished result: the directory
  // then stays as it came, like one without a short form.
  if (length != 0 && length < needed) wide_copy(directory, short_form, capacity);
  free(short_form);
}

void shorten_directory_part(wchar_t* path, size_t capacity) {
  wchar_t* last_backslash = wcsrchr(path, L'\\');
  if (last_backslash == nullptr) {
    replace_by_short_form(path, capacity);
    return;
  }
  wchar_t* last_component = _wcsdup(last_backslash + 1);
  // Without the copy the component could not be put back: the path stays
  // whole rather than lose its file name.
  if (last_component == nullptr) return;
  *last_backslash = L'\0';
  replace_by_short_form(path, capacity);
  wide_append_unit(path, L'\\', capacity);
  wide_append(path, last_component, capacity);
  free(last_component);
}
