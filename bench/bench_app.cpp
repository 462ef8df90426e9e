// The benchmark's application library: returns at once, after telling the
// driver when it was reached (see bench_report.h).
#include <windows.h>

#include "bench/bench_report.h"

extern "C" __declspec(dllexport) int run_code(int, wchar_t**, const wchar_t* library_path) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return bench_report_reached(now.QuadPart, library_path);
}
