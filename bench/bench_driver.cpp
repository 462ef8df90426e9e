// Windows-side timing for the benchmark.
//
//   bench_driver run COUNT LAUNCHER   start the launcher COUNT times; for each
//                                     print the whole run and the time until
//                                     the application was reached, in ms, and
//                                     the child's private bytes at that point
//   bench_driver copy FROM TO         copy a tree file by file; print ms
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <string>

namespace {

double frequency() {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(f.QuadPart);
}

long long now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

int run(int count, const wchar_t* launcher) {
  for (int i = 0; i < count; ++i) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    CreatePipe(&read_end, &write_end, &inheritable, 0);
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = write_end;
    std::wstring line = L"\"" + std::wstring(launcher) + L"\"";
    PROCESS_INFORMATION process = {};
    long long start = now();
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, /*bInheritHandles=*/TRUE, 0, nullptr,
                        nullptr, &startup, &process)) {
      fprintf(stderr, "cannot start %ls: %lu\n", launcher, GetLastError());
      return 1;
    }
    CloseHandle(write_end);
    std::string output;
    char piece[4096];
    DWORD got = 0;
    while (ReadFile(read_end, piece, sizeof piece, &got, nullptr) && got > 0) output.append(piece, got);
    WaitForSingleObject(process.hProcess, INFINITE);
    long long end = now();
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(read_end);
    long long reached = 0;
    unsigned long long private_bytes = 0;
    const char* at = strstr(output.c_str(), "reached ");
    if (code != 0 || at == nullptr ||
        sscanf(at, "reached %lld private %llu", &reached, &private_bytes) != 2) {
      fprintf(stderr, "launch failed (exit %lu): %s\n", code, output.c_str());
      return 1;
    }
    double f = frequency() / 1000.0;
    printf("run total_ms %.2f reached_ms %.2f private %llu\n", (end - start) / f,
           (reached - start) / f, private_bytes);
  }
  return 0;
}

bool copy_tree(const std::wstring& from, const std::wstring& to) {
  if (!CreateDirectoryW(to.c_str(), nullptr)) return false;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((from + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = copy_tree(from + L"\\" + name, to + L"\\" + name) && ok;
    } else {
      ok = CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), TRUE) && ok;
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && wcscmp(argv[1], L"run") == 0) return run(_wtoi(argv[2]), argv[3]);
  if (argc == 4 && wcscmp(argv[1], L"copy") == 0) {
    long long start = now();
    if (!copy_tree(argv[2], argv[3])) {
      fprintf(stderr, "copy failed: %lu\n", GetLastError());
      return 1;
    }
    printf("copy_ms %.2f\n", (now() - start) / (frequency() / 1000.0));
    return 0;
  }
  fprintf(stderr, "usage: bench_driver run COUNT LAUNCHER | copy FROM TO\n");
  return 64;
}
