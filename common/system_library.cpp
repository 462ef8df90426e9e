#include "common/system_library.h"

#include <windows.h>

void* system_function(const wchar_t* library_name, const char* function_name) {
  HMODULE library = LoadLibraryExW(library_name, /*hFile=*/nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(library, function_name));
}
