// Windows-side timing for the benchmark.
//
//   bench_driver run COUNT WORK_DIR PATH=FILES...
//       start each program COUNT times, in turn, after one checking round;
//       for each launch print the whole run and the time until the
//       application was reached, in ms, and the private bytes of the process
//       that reached it. FILES is how many files the application must see;
//       "relay" instead marks the bare program that starts itself once more.
//       Every launch must pass its exit code through and leave %TEMP% as it
//       was; a timed launch that does not is printed as "fail NAME". WORK_DIR
//       takes the application's report and the output.
//   bench_driver copy FROM TO         copy a tree file by file; print ms
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

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

// One program under test and what a launch of it must show.
struct Subject {
  std::wstring path;
  std::wstring name;  // its file name, which labels its lines
  long long files;    // files the application must see; -1: not checked
  bool relay;         // the bare program, started in its relaying role
};

std::wstring file_name(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

std::wstring temporary_directory() {
  wchar_t path[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, path);
  return std::wstring(path, length);
}

// The names directly in %TEMP%: a launch must leave them as it found them.
std::set<std::wstring> temporary_entries() {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((temporary_directory() + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    names.insert(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

std::string read_file(const std::wstring& path) {
  std::string text;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return text;
  char piece[4096];
  size_t got = 0;
  while ((got = fread(piece, 1, sizeof piece, file)) > 0) text.append(piece, got);
  fclose(file);
  return text;
}

// Starts one launch and waits for its end. The application's exit code is
// chosen anew each time and above 255, so that passing it through is checked
// in full; the application counts its files when `check_files` is set.
bool launch(const Subject& subject, const std::wstring& work, DWORD exit_code, bool check_files,
            double* total_ms, double* reached_ms, unsigned long long* private_bytes) {
  std::wstring report_path = work + L"\\report.txt";
  std::wstring output_path = work + L"\\output.txt";
  DeleteFileW(report_path.c_str());
  SetEnvironmentVariableW(L"BENCH_REPORT", report_path.c_str());
  SetEnvironmentVariableW(L"BENCH_EXIT", std::to_wstring(exit_code).c_str());
  SetEnvironmentVariableW(L"BENCH_COUNT_FILES", check_files ? L"1" : nullptr);
  SetEnvironmentVariableW(L"BENCH_RELAY", subject.relay ? L"1" : nullptr);
  // Output goes to a file, not a pipe: a process that the peers' system
  // libraries start on the side could hold a pipe open past the launch.
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE output = CreateFileW(output_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  startup.hStdError = output;
  std::wstring line = L"\"" + subject.path + L"\"";
  std::set<std::wstring> before = temporary_entries();
  PROCESS_INFORMATION process = {};
  long long start = now();
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, /*bInheritHandles=*/TRUE, 0, nullptr,
                      nullptr, &startup, &process)) {
    fprintf(stderr, "cannot start %ls: %lu\n", subject.path.c_str(), GetLastError());
    return false;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  long long end = now();
  CloseHandle(output);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  SetEnvironmentVariableW(L"BENCH_RELAY", nullptr);
  std::string report = read_file(report_path);
  long long reached = 0;
  long long files = 0;
  if (code != exit_code ||
      sscanf(report.c_str(), "reached %lld private %llu files %lld", &reached, private_bytes,
             &files) != 3) {
    fprintf(stderr, "%ls: exit code %lu for %lu, report \"%s\", output: %s\n", subject.name.c_str(),
            code, exit_code, report.c_str(), read_file(output_path).c_str());
    return false;
  }
  if (check_files && subject.files >= 0 && files != subject.files) {
    fprintf(stderr, "%ls: the application saw %lld files of %lld\n", subject.name.c_str(), files,
            subject.files);
    return false;
  }
  for (const std::wstring& name : temporary_entries()) {
    if (before.count(name) == 0) {
      fprintf(stderr, "%ls left %ls in %%TEMP%%\n", subject.name.c_str(), name.c_str());
      return false;
    }
  }
  double f = frequency() / 1000.0;
  *total_ms = (end - start) / f;
  *reached_ms = (reached - start) / f;
  return true;
}

// A first round checks every subject once, untimed (and warms the caches);
// then COUNT rounds start each subject in turn, so that a change of the
// machine's load touches all of them alike.
int run(int count, const std::wstring& work, const std::vector<Subject>& subjects) {
  for (int round = 0; round <= count; ++round) {
    for (size_t k = 0; k < subjects.size(); ++k) {
      // Each round starts one further along, so that no program always
      // follows the same other one (a peer's window system, say, still
      // winding down under Wine).
      size_t i = (k + static_cast<size_t>(round)) % subjects.size();
      DWORD exit_code = 70000u + static_cast<DWORD>(round * 100 + i);
      double total_ms = 0, reached_ms = 0;
      unsigned long long private_bytes = 0;
      bool passed = launch(subjects[i], work, exit_code, /*check_files=*/round == 0, &total_ms,
                           &reached_ms, &private_bytes);
      // A program that fails its first check is not measured at all; a later
      // failure (its reason is on standard error) is counted, not timed.
      if (round == 0 && !passed) return 1;
      if (round == 0) continue;
      if (!passed) {
        printf("fail %ls\n", subjects[i].name.c_str());
        continue;
      }
      printf("run %ls total_ms %.2f reached_ms %.2f private %llu\n", subjects[i].name.c_str(),
             total_ms, reached_ms, private_bytes);
      fflush(stdout);
    }
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
  if (argc >= 5 && wcscmp(argv[1], L"run") == 0) {
    std::vector<Subject> subjects;
    for (int i = 4; i < argc; ++i) {
      // PATH=FILES, or PATH=relay for the bare program
      std::wstring spec = argv[i];
      size_t equals = spec.find_last_of(L'=');
      if (equals == std::wstring::npos) break;
      std::wstring path = spec.substr(0, equals), files = spec.substr(equals + 1);
      bool relay = files == L"relay";
      subjects.push_back({path, file_name(path), relay ? -1 : _wtoi64(files.c_str()), relay});
    }
    if (subjects.size() == static_cast<size_t>(argc - 4)) return run(_wtoi(argv[2]), argv[3], subjects);
  }
  if (argc == 4 && wcscmp(argv[1], L"copy") == 0) {
    long long start = now();
    if (!copy_tree(argv[2], argv[3])) {
      fprintf(stderr, "copy failed: %lu\n", GetLastError());
      return 1;
    }
    printf("copy_ms %.2f\n", (now() - start) / (frequency() / 1000.0));
    return 0;
  }
  fprintf(stderr, "usage: bench_driver run COUNT WORK_DIR PATH=FILES|PATH=relay... | copy FROM TO\n");
  return 64;
}
