// The benchmark's application library: returns at once, after telling the
// driver when it was reached and how much memory the process holds then.
#include <stdio.h>
#include <windows.h>
#include <psapi.h>

extern "C" __declspec(dllexport) int run_code(int, wchar_t**, const wchar_t*) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                       sizeof memory);
  printf("reached %lld private %llu\n", static_cast<long long>(now.QuadPart),
         static_cast<unsigned long long>(memory.PrivateUsage));
  fflush(stdout);
  return 0;
}
