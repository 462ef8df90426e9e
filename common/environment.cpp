#include "common/environment.h"

#include <windows.h>

#include "common/wide_buffer.h"

// The largest value Windows stores for one variable, with its terminator.
enum { ENV_VALUE_CAPACITY = 32768 };

static wchar_t env_value[ENV_VALUE_CAPACITY];

static void build_wide_name(wchar_t* wide_name, const char* name) {
  wide_name[0] = L'\0';
  append_ascii_as_wide(wide_name, name, ENV_NAME_CAPACITY);
}

wchar_t* get_env_copy(const char* name) {
  wchar_t wide_name[ENV_NAME_CAPACITY];
  build_wide_name(wide_name, name);
  DWORD length = GetEnvironmentVariableW(wide_name, env_value, ENV_VALUE_CAPACITY);
  if (length < 1 || length >= ENV_VALUE_CAPACITY) return nullptr;
  return _wcsdup(env_value);
}

void set_env_ascii_name(const char* name, const wchar_t* value) {
  wchar_t wide_name[ENV_NAME_CAPACITY];
  build_wide_name(wide_name, name);
  SetEnvironmentVariableW(wide_name, value);
}
