// Starts a program as a user's shell would and collects what it did.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ProgramRun {
  DWORD exit_code = 0;
  DWORD process_id = 0;
  std::string output;  // standard output and error, interleaved as written
};

// Runs command_line (quoted by the caller) with the current environment plus
// the given NAME=VALUE changes (an empty VALUE removes NAME), waits for it
// and returns its exit code, process id and output.
ProgramRun run_program(const std::wstring& command_line,
                       const std::vector<std::wstring>& environment_changes = {});

// The full path of a program built next to the running test program.
std::wstring sibling_program(const wchar_t* name);
