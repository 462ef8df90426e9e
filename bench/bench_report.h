// What the benchmark's application tells the driver once it is reached,
// shared by the library that our launcher loads and the program that the
// peer installers run, so that both are timed and checked alike. Plain C
// calls only: the library stays as small as an application library can be.
//
// The driver's environment says what to do:
//   BENCH_REPORT       the file that receives one line,
//                      "reached <counter> private <bytes> files <count>"
//   BENCH_COUNT_FILES  when set, count the files below the application's
//                      directory (the check that every file arrived);
//                      otherwise the count is -1, so timed runs do not pay it
//   BENCH_EXIT         the exit code to end with (decimal), 0 without it
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#include <windows.h>

// Long enough for the payload's deepest paths below any temporary folder.
enum { BENCH_PATH_CAPACITY = 4096 };

// Counts the files below directory, which it extends in place while it walks.
inline long long bench_count_files(wchar_t* directory) {
  size_t length = wcslen(directory);
  if (length + 3 > BENCH_PATH_CAPACITY) return 0;
  wcscpy(directory + length, L"\\*");
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(directory, &found);
  directory[length] = L'\0';
  if (search == INVALID_HANDLE_VALUE) return 0;
  long long count = 0;
  do {
    if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) continue;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      ++count;
    } else if (length + 2 + wcslen(found.cFileName) <= BENCH_PATH_CAPACITY) {
      directory[length] = L'\\';
      wcscpy(directory + length + 1, found.cFileName);
      count += bench_count_files(directory);
      directory[length] = L'\0';
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return count;
}

// Committed private memory, summed region by region: what the process's own
// allocations hold (Wine reports no private usage counter).
inline unsigned long long bench_private_bytes() {
  unsigned long long private_bytes = 0;
  MEMORY_BASIC_INFORMATION region;
  for (char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
       at = static_cast<char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) private_bytes += region.RegionSize;
  }
  return private_bytes;
}

// The variable's value in value (capacity units), or false when it is unset.
inline bool bench_environment(const wchar_t* name, wchar_t* value, DWORD capacity) {
  DWORD length = GetEnvironmentVariableW(name, value, capacity);
  return length > 0 && length < capacity;
}

// Writes the report for an application reached at counter value `reached`
// whose files lie in the directory of `file_in_directory`; gives the exit
// code to end with.
inline int bench_report_reached(long long reached, const wchar_t* file_in_directory) {
  unsigned long long private_bytes = bench_private_bytes();
  static wchar_t text[BENCH_PATH_CAPACITY];
  long long files = -1;
  if (bench_environment(L"BENCH_COUNT_FILES", text, BENCH_PATH_CAPACITY) &&
      wcslen(file_in_directory) < BENCH_PATH_CAPACITY) {
    wcscpy(text, file_in_directory);
    wchar_t* last_backslash = wcsrchr(text, L'\\');
    if (last_backslash != nullptr) *last_backslash = L'\0';
    files = bench_count_files(text);
  }
  if (bench_environment(L"BENCH_REPORT", text, BENCH_PATH_CAPACITY)) {
    FILE* report = _wfopen(text, L"w");
    if (report != nullptr) {
      fprintf(report, "reached %lld private %llu files %lld\n", reached, private_bytes, files);
      fclose(report);
    }
  }
  if (!bench_environment(L"BENCH_EXIT", text, BENCH_PATH_CAPACITY)) return 0;
  return static_cast<int>(wcstoul(text, nullptr, 10));
}
