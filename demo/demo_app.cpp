// The demo application library. The launcher's loading child calls
// run_code; everything it shows comes from what the launcher handed over:
// the arguments, the environment, the unpacked files and a bundled data file.
//
//   demo.exe [--exit N] [ARGS...]     ends with N (default 0)
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

namespace {

// Long enough for any path the launcher unpacks to.
const DWORD kPathCapacity = 32768;
// The bundled file whose content the demo shows.
const wchar_t kDataFile[] = L"data\\message.txt";
// Variables of the launcher start with this.
const wchar_t kLauncherPrefix[] = L"VELDOR_";

void print_wide(const wchar_t* text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return;
  char* utf8 = static_cast<char*>(malloc(bytes));
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, bytes, nullptr, nullptr);
  fputs(utf8, stdout);
  free(utf8);
}

void print_line(const wchar_t* prefix, const wchar_t* text) {
  print_wide(prefix);
  print_wide(text);
  fputs("\n", stdout);
}

void print_arguments(int argc, wchar_t** argv) {
  printf("arguments (%d):\n", argc);
  for (int i = 0; i < argc; ++i) {
    printf("  [%d] ", i);
    print_line(L"", argv[i]);
  }
}

void print_launcher_environment() {
  printf("environment variables from the launcher:\n");
  wchar_t* block = GetEnvironmentStringsW();
  for (wchar_t* entry = block; *entry != 0; entry += wcslen(entry) + 1) {
    if (wcsncmp(entry, kLauncherPrefix, wcslen(kLauncherPrefix)) == 0) print_line(L"  ", entry);
  }
  FreeEnvironmentStringsW(block);
}

void print_files(const wchar_t* directory, const wchar_t* relative) {
  static wchar_t pattern[kPathCapacity];
  swprintf(pattern, kPathCapacity, L"%ls\\%ls%ls*", directory, relative, *relative ? L"\\" : L"");
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) continue;
    wchar_t* name = static_cast<wchar_t*>(malloc(kPathCapacity * sizeof(wchar_t)));
    swprintf(name, kPathCapacity, L"%ls%ls%ls", relative, *relative ? L"\\" : L"", found.cFileName);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      print_files(directory, name);
    } else {
      unsigned long long size =
          (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
      printf("  %10llu  ", size);
      print_line(L"", name);
    }
    free(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

void print_data_file(const wchar_t* directory) {
  static wchar_t path[kPathCapacity];
  swprintf(path, kPathCapacity, L"%ls\\%ls", directory, kDataFile);
  print_wide(L"contents of ");
  print_wide(kDataFile);
  fputs(":\n", stdout);
  FILE* file = _wfopen(path, L"rb");
  if (file == nullptr) {
    printf("  (cannot open it)\n");
    return;
  }
  char piece[4096];
  size_t got;
  while ((got = fread(piece, 1, sizeof piece, file)) > 0) fwrite(piece, 1, got, stdout);
  fclose(file);
}

}  // namespace

extern "C" __declspec(dllexport) int run_code(int argc, wchar_t** argv,
                                              const wchar_t* library_path) {
  static wchar_t directory[kPathCapacity];
  wcsncpy(directory, library_path, kPathCapacity - 1);
  if (wchar_t* slash = wcsrchr(directory, L'\\')) *slash = 0;

  int exit_code = 0;
  for (int i = 1; i + 1 < argc; ++i)
    if (wcscmp(argv[i], L"--exit") == 0) exit_code = _wtoi(argv[i + 1]);

  printf("Hello from the demo application.\n");
  print_arguments(argc, argv);
  print_launcher_environment();
  print_wide(L"unpacked in ");
  print_wide(directory);
  fputs(":\n", stdout);
  print_files(directory, L"");
  print_data_file(directory);
  printf("returning %d\n", exit_code);
  fflush(stdout);
  return exit_code;
}
