#include "tests/support/launch_driver.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/process_runner.h"
#include "tests/support/scoped_variable.h"
#include "tests/support/test_support.h"

std::wstring launcher_path(const wchar_t* name) {
  return test_program_directory() + L"\\" + name + L".exe";
}

static HANDLE inheritable_file(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, /*bInheritHandle=*/TRUE};
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     disposition, 0, nullptr);
}

Launch start_launcher(const std::wstring& executable, const std::wstring& command_line,
                      const std::wstring& actions, const std::wstring& current_directory) {
  Launch launch = {};
  launch.output_path = stream_capture_path(L"out");
  launch.error_path = stream_capture_path(L"err");
  HANDLE output = open_stream_capture(launch.output_path);
  HANDLE error = open_stream_capture(launch.error_path);
  HANDLE input = inheritable_file(L"NUL", GENERIC_READ, OPEN_EXISTING);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = error;
  ScopedVariable application_actions(L"TEST_APP_ACTIONS",
                                    actions.empty() ? nullptr : actions.c_str());
  std::wstring line = command_line;
  PROCESS_INFORMATION created = {};
  launch.started_tick = GetTickCount();
  BOOL started = CreateProcessW(executable.c_str(), &line[0], nullptr, nullptr,
                                /*bInheritHandles=*/TRUE, 0, nullptr,
                                current_directory.empty() ? nullptr : current_directory.c_str(),
                                &startup, &created);
  EXPECT_TRUE(started) << "cannot start the launcher, error " << GetLastError();
  CloseHandle(output);
  CloseHandle(error);
  CloseHandle(input);
  if (started) CloseHandle(created.hThread);
  launch.process = started ? created.hProcess : nullptr;
  launch.process_id = created.dwProcessId;
  return launch;
}

LaunchResult finish_launch(Launch* launch, DWORD timeout_ms) {
  LaunchResult result = {};
  result.launcher_pid = launch->process_id;
  if (launch->process == nullptr) return result;
  if (WaitForSingleObject(launch->process, timeout_ms) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "the launcher did not end within " << timeout_ms << " ms";
    TerminateProcess(launch->process, 99);
    WaitForSingleObject(launch->process, INFINITE);
  }
  result.elapsed_ms = GetTickCount() - launch->started_tick;
  GetExitCodeProcess(launch->process, &result.exit_code);
  CloseHandle(launch->process);
  launch->process = nullptr;
  result.standard_output = take_stream_capture(launch->output_path);
  result.standard_error = take_stream_capture(launch->error_path);
  result.output = result.standard_output + result.standard_error;
  return result;
}

LaunchResult run_launcher(const std::wstring& executable, const std::wstring& command_line,
                          const std::wstring& actions) {
  Launch launch = start_launcher(executable, command_line, actions);
  return finish_launch(&launch);
}

std::wstring reported_target_directory(const Report& report) {
  std::wstring library = field(report, L"library_path");
  return library.substr(0, library.find_last_of(L'\\'));
}

bool wait_for_file(const std::wstring& path, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (!path_exists(path)) {
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(20);
  }
  return true;
}

// The target directories in %TEMP% whose names carry launcher_pid.
static std::vector<std::wstring> target_directories_of(DWORD launcher_pid) {
  std::vector<std::wstring> directories;
  std::wstring pattern =
      temporary_directory() + L"\\onefile_" + std::to_wstring(launcher_pid) + L"_*";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return directories;
  do directories.push_back(temporary_directory() + L"\\" + found.cFileName);
  while (FindNextFileW(search, &found));
  FindClose(search);
  return directories;
}

int leftover_target_directories(DWORD launcher_pid) {
  return static_cast<int>(target_directories_of(launcher_pid).size());
}

void expect_target_directory_gone(const Report& report, const LaunchResult& result) {
  std::wstring directory = reported_target_directory(report);
  EXPECT_FALSE(directory.empty());
  EXPECT_FALSE(path_exists(directory)) << "left behind: " << testing::PrintToString(directory);
  EXPECT_EQ(leftover_target_directories(result.launcher_pid), 0);
}

void remove_target_directories(DWORD launcher_pid) {
  for (const std::wstring& directory : target_directories_of(launcher_pid)) remove_tree(directory);
}
