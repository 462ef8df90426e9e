// The benchmark's application library: returns at once, after telling the
// driver when it was reached and how much memory the process holds then.
#include <stdio.h>
#include <windows.h>

extern "C" __declspec(dllexport) int run_code(int, wchar_t**, const wchar_t*) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  // Committed private memory, summed region by region: what the process's
  // own allocations hold (Wine reports no private usage counter).
  unsigned long long private_bytes = 0;
  MEMORY_BASIC_INFORMATION region;
  for (char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
       at = static_cast<char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) private_bytes += region.RegionSize;
  }
  printf("reached %lld private %llu\n", static_cast<long long>(now.QuadPart), private_bytes);
  fflush(stdout);
  return 0;
}
