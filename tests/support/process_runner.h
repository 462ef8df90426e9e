// Starts a program as a user's shell would and collects what it did.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ProgramRun {
  DWORD exit_code = 0;
  DWORD process_id = 0;
  DWORD elapsed_ms = 0;
  std::string standard_output;
  std::string standard_error;
  // Both streams, output first, only for the messages of failed checks: the
  // order in which the program wrote them is not kept.
  std::string output;
};

// A program started with each standard stream going to a file of its own.
struct StartedProgram {
  HANDLE process = nullptr;  // null when it could not be started
  DWORD process_id = 0;
  DWORD started_tick = 0;
  std::wstring output_path;
  std::wstring error_path;
};

// Starts command_line (quoted by the caller) as CreateProcessW does with
// application (null: the line's first element), the environment block
// environment (null: the current environment) and current_directory (null:
// the test's own), with input as standard input. A failed start fails the
// running test.
StartedProgram start_program(const wchar_t* application, const std::wstring& command_line,
                             HANDLE input, wchar_t* environment,
                             const wchar_t* current_directory);
// Waits up to timeout_ms for the program (on time-out it is terminated and
// the test fails), then gives its exit code, its process id and each stream.
ProgramRun finish_program(StartedProgram* program, DWORD timeout_ms);

// Runs command_line (quoted by the caller) with the current environment plus
// the given NAME=VALUE changes (an empty VALUE removes NAME), waits for it
// and returns its exit code, process id and each stream's bytes.
ProgramRun run_program(const std::wstring& command_line,
                       const std::vector<std::wstring>& environment_changes = {});

// The full path of a program built next to the running test program.
std::wstring sibling_program(const wchar_t* name);

// A file that a started program can write one standard stream to, and that
// test reads back once the program has ended.
HANDLE open_stream_capture(const std::wstring& path);
// A fresh path for such a file in the temporary directory.
std::wstring stream_capture_path(const wchar_t* stream);
// The file's content; the file is removed.
std::string take_stream_capture(const std::wstring& path);
