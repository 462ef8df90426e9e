// The benchmark's application as a program of its own, for the peer
// installers, which start an executable: it does what the library's run_code
// does and returns at once, after telling the driver when it was reached (see
// bench_report.h).
//
// With BENCH_RELAY set it is instead the floor of a launch that runs itself
// twice: it starts itself once more (without the variable), waits, and ends
// with the second instance's exit code.
// Built as our launcher is: a GUI program with the runtimes linked in.
#include <windows.h>

#include "bench/bench_report.h"

static wchar_t own_path[BENCH_PATH_CAPACITY];

static int relay() {
  SetEnvironmentVariableW(L"BENCH_RELAY", nullptr);
  static wchar_t command_line[32768];
  if (wcslen(GetCommandLineW()) >= 32768) return 2;
  wcscpy(command_line, GetCommandLineW());
  // The report goes to a file, so the second instance needs no handles.
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(own_path, command_line, nullptr, nullptr,
                      /*bInheritHandles=*/TRUE, 0, nullptr, nullptr, &startup, &process)) {
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  GetModuleFileNameW(/*hModule=*/nullptr, own_path, BENCH_PATH_CAPACITY);
  wchar_t relay_value[8];
  if (bench_environment(L"BENCH_RELAY", relay_value, 8)) return relay();
  return bench_report_reached(now.QuadPart, own_path);
}
