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

StartedProgram start_program(const wchar_t* application, const std::wstring& command_line,
                             HANDLE input, wchar_t* environment,
                             const wchar_t* current_directory) {
  StartedProgram program;
  program.output_path = stream_capture_path(L"out");
  program.error_path = stream_capture_path(L"err");
  HANDLE output = open_stream_capture(program.output_path);
  HANDLE error = open_stream_capture(program.error_path);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = error;
  std::wstring mutable_line = command_line;
  PROCESS_INFORMATION created = {};
  program.started_tick = GetTickCount();
  BOOL started = CreateProcessW(application, &mutable_line[0], nullptr, nullptr,
                                /*bInheritHandles=*/TRUE,
                                environment != nullptr ? CREATE_UNICODE_ENVIRONMENT : 0,
                                environment, current_directory, &startup, &created);
  DWORD start_error = GetLastError();
  CloseHandle(output);
  CloseHandle(error);
  if (!started) {
    ADD_FAILURE() << "CreateProcessW failed: " << start_error;
    return program;
  }
  CloseHandle(created.hThread);
  program.process = created.hProcess;
  program.process_id = created.dwProcessId;
  return program;
}

ProgramRun finish_program(StartedProgram* program, DWORD timeout_ms) {
  ProgramRun run;
  run.process_id = program->process_id;
  if (program->process != nullptr) {
    if (WaitForSingleObject(program->process, timeout_ms) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "the program did not end within " << timeout_ms << " ms";
      TerminateProcess(program->process, 99);
      WaitForSingleObject(program->process, INFINITE);
    }
    run.elapsed_ms = GetTickCount() - program->started_tick;
    GetExitCodeProcess(program->process, &run.exit_code);
    CloseHandle(program->process);
    program->process = nullptr;
  }
  run.standard_output = take_stream_capture(program->output_path);
  run.standard_error = take_stream_capture(program->error_path);
  run.output = run.standard_output + run.standard_error;
  return run;
}

ProgramRun run_program(const std::wstring& command_line,
                       const std::vector<std::wstring>& environment_changes) {
  std::wstring environment = changed_environment(environment_changes);
  StartedProgram program = start_program(/*application=*/nullptr, command_line,
                                         GetStdHandle(STD_INPUT_HANDLE), &environment[0],
                                         /*current_directory=*/nullptr);
  return finish_program(&program, INFINITE);
}

std::wstring sibling_program(const wchar_t* name) {
  return test_program_directory() + L"\\" + name;
}
