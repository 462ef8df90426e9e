// An environment variable set for the length of a scope.
#pragma once

#include <windows.h>

#include <string>

// Sets (or with null removes) a variable and puts the old state back after.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t old[32768];
    DWORD length = GetEnvironmentVariableW(name, old, 32768);
    had_value_ = length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    old_ = std::wstring(old, length < 32768 ? length : 0);
    SetEnvironmentVariableW(name, value);
  }
  ~ScopedVariable() { SetEnvironmentVariableW(name_.c_str(), had_value_ ? old_.c_str() : nullptr); }

 private:
  std::wstring name_;
  std::wstring old_;
  bool had_value_;
};
