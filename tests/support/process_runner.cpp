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

std::wstring stream_capture_path(const wchar_t* stream) {
  static int serial = 0;
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  return std::wstring(temp) + L"stream_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
         std::to_wstring(++serial) + L"_" + stream;
}

// Files, not pipes: a program that fills one stream while nobody reads the
// other cannot block, and both are read once it has ended.
HANDLE open_stream_capture(const std::wstring& path) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, /*bInheritHandle=*/TRUE};
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     CREATE_ALWAYS, 0, nullptr);
}

std::string take_stream_capture(const std::wstring& path) {
  std::string content = read_whole_file(path);
  DeleteFileW(path.c_str());
  return content == "<missing>" ? std::string() : content;
}

ProgramRun run_program(const std::wstring& command_line,
                       const std::vector<std::wstring>& environment_changes) {
  ProgramRun run;
  std::wstring output_path = stream_capture_path(L"out"), error_path = stream_capture_path(L"err");
  HANDLE output = open_stream_capture(output_path), error = open_stream_capture(error_path);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = output;
  startup.hStdError = error;
  std::wstring environment = changed_environment(environment_changes);
  std::wstring mutable_line = command_line;
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessW(nullptr, &mutable_line[0], nullptr, nullptr,
                                /*bInheritHandles=*/TRUE, CREATE_UNICODE_ENVIRONMENT,
                                &environment[0], nullptr, &startup, &process);
  DWORD start_error = GetLastError();
  CloseHandle(output);
  CloseHandle(error);
  if (started) {
    run.process_id = process.dwProcessId;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &run.exit_code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  } else {
    ADD_FAILURE() << "CreateProcessW failed: " << start_error;
  }
  run.standard_output = take_stream_capture(output_path);
  run.standard_error = take_stream_capture(error_path);
  run.output = run.standard_output + run.standard_error;
  return run;
}

std::wstring sibling_program(const wchar_t* name) {
  return test_program_directory() + L"\\" + name;
}
