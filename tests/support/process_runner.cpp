#include "tests/support/process_runner.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

// The current environment block with the changes applied.
std::wstring changed_environment(const std::vector<std::wstring>& changes) {
  std::vector<std::wstring> entries;
  wchar_t* block = GetEnvironmentStringsW();
  for (wchar_t* p = block; *p != 0; p += wcslen(p) + 1) entries.push_back(p);
  FreeEnvironmentStringsW(block);
  for (const std::wstring& change : changes) {
    std::wstring name = change.substr(0, change.find(L'=', 1) + 1);
    for (size_t i = 0; i < entries.size();) {
      if (_wcsnicmp(entries[i].c_str(), name.c_str(), name.size()) == 0) {
        entries.erase(entries.begin() + i);
      } else {
        ++i;
      }
    }
    if (change.size() > name.size()) entries.push_back(change);
  }
  std::wstring result;
  for (const std::wstring& entry : entries) result += entry + L'\0';
  result += L'\0';
  return result;
}

}  // namespace

ProgramRun run_program(const std::wstring& command_line,
                       const std::vector<std::wstring>& environment_changes) {
  ProgramRun run;
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) {
    ADD_FAILURE() << "CreatePipe failed: " << GetLastError();
    return run;
  }
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  std::wstring environment = changed_environment(environment_changes);
  std::wstring mutable_line = command_line;
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessW(nullptr, &mutable_line[0], nullptr, nullptr,
                                /*bInheritHandles=*/TRUE, CREATE_UNICODE_ENVIRONMENT,
                                &environment[0], nullptr, &startup, &process);
  CloseHandle(write_end);
  if (!started) {
    ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
    CloseHandle(read_end);
    return run;
  }
  run.process_id = process.dwProcessId;
  char piece[4096];
  DWORD got = 0;
  while (ReadFile(read_end, piece, sizeof piece, &got, nullptr) && got > 0) run.output.append(piece, got);
  CloseHandle(read_end);
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &run.exit_code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return run;
}

std::wstring sibling_program(const wchar_t* name) {
  return test_program_directory() + L"\\" + name;
}
