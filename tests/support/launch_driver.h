// Starts packed launchers the way a user's program does and reads back what
// the test application saw: exit codes in full, output, the processes and
// the target directory.
#pragma once

#include <windows.h>

#include <string>

#include "tests/support/app_report.h"
#include "tests/support/process_runner.h"

// A launch is a started program; its result, that of any program, with the
// launcher's process id and the time from its start to its end.
typedef StartedProgram Launch;
typedef ProgramRun LaunchResult;

// A launcher built beside the test program.
std::wstring launcher_path(const wchar_t* name);

// Starts executable with exactly this command line (element 0 included),
// the test application's actions in TEST_APP_ACTIONS, and the given current
// directory (the driver's own when empty). Each standard stream goes to a
// file of its own.
Launch start_launcher(const std::wstring& executable, const std::wstring& command_line,
                      const std::wstring& actions, const std::wstring& current_directory = L"");
// Waits for the launcher; on time-out it is terminated and the test fails.
LaunchResult finish_launch(Launch* launch, DWORD timeout_ms = 60000);
LaunchResult run_launcher(const std::wstring& executable, const std::wstring& command_line,
                          const std::wstring& actions);

// The directory that the application library was loaded from.
std::wstring reported_target_directory(const Report& report);

bool wait_for_file(const std::wstring& path, DWORD timeout_ms);
// Target directories that a launcher with this process id left in %TEMP%.
int leftover_target_directories(DWORD launcher_pid);
// Removes them: a failed launch leaves the files it unpacked.
void remove_target_directories(DWORD launcher_pid);
// The reported target directory and every other one of this launch are gone.
void expect_target_directory_gone(const Report& report, const LaunchResult& result);
