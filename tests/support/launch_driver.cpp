#include "tests/support/launch_driver.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/process_runner.h"
#include "tests/support/scoped_variable.h"
#include "tests/support/test_support.h"

std::wstring launcher_path(const wchar_t* name) {
  return test_program_directory() + L"\\" + name + L".exe";
}

Launch start_launcher(const std::wstring& executable, const std::wstring& command_line,
                      const std::wstring& actions, const std::wstring& current_directory) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, /*bInheritHandle=*/TRUE};
  HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
  ScopedVariable application_actions(L"TEST_APP_ACTIONS",
                                     actions.empty() ? nullptr : actions.c_str());
  Launch launch = start_program(executable.c_str(), command_line, input,
                                /*environment=*/nullptr,
                                current_directory.empty() ? nullptr : current_directory.c_str());
  CloseHandle(input);
  return launch;
}

LaunchResult finish_launch(Launch* launch, DWORD timeout_ms) {
  return finish_program(launch, timeout_ms);
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
  EXPECT_EQ(leftover_target_directories(result.process_id), 0);
}

void remove_target_directories(DWORD launcher_pid) {
  for (const std::wstring& directory : target_directories_of(launcher_pid)) remove_tree(directory);
}
