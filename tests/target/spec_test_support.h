// Helpers for the expansion tests: running an expansion, and setting the
// environment or argument 0 for the length of one test.
#pragma once

#include <windows.h>

#include <stdlib.h>

#include <string>

#include "target/target_spec.h"
#include "tests/support/scoped_variable.h"

struct Expansion {
  bool succeeded;
  std::wstring text;
};

inline Expansion expand(const std::wstring& spec, size_t capacity = 4096) {
  std::wstring buffer(capacity, L'#');
  bool succeeded = expand_target_spec(&buffer[0], spec.c_str(), capacity);
  return {succeeded, std::wstring(buffer.c_str())};
}

inline std::wstring variable_value(const wchar_t* name) {
  wchar_t value[32768];
  DWORD length = GetEnvironmentVariableW(name, value, 32768);
  return std::wstring(value, length < 32768 ? length : 0);
}

inline bool variable_exists(const wchar_t* name) {
  SetLastError(0);
  return GetEnvironmentVariableW(name, nullptr, 0) != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

// Replaces argument 0 of the runtime's vector, as if the program had been
// started under that name.
class ScopedArgv0 {
 public:
  explicit ScopedArgv0(const wchar_t* value) : value_(value ? value : L"") {
    saved_ = __wargv[0];
    __wargv[0] = value ? &value_[0] : nullptr;
  }
  ~ScopedArgv0() { __wargv[0] = saved_; }

 private:
  std::wstring value_;
  wchar_t* saved_;
};

inline std::wstring without_trailing_backslashes(std::wstring text) {
  while (!text.empty() && text.back() == L'\\') text.pop_back();
  return text;
}
