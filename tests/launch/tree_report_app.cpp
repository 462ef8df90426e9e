// A test application library: reports the environment it was started with
// and every file below its own directory, with sizes and content hashes, so
// a test can compare the unpacked tree with the packed one.
#include <stdint.h>
#include <stdio.h>
#include <windows.h>

#include <string>

namespace {

uint64_t fnv1a(const std::wstring& path, uint64_t* size) {
  uint64_t hash = 1469598103934665603ull;
  *size = 0;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  unsigned char piece[65536];
  DWORD got = 0;
  while (ReadFile(file, piece, sizeof piece, &got, nullptr) && got > 0) {
    for (DWORD i = 0; i < got; ++i) hash = (hash ^ piece[i]) * 1099511628211ull;
    *size += got;
  }
  CloseHandle(file);
  return hash;
}

void list_tree(const std::wstring& root, const std::wstring& relative) {
  WIN32_FIND_DATAW found;
  std::wstring directory = relative.empty() ? root : root + L"\\" + relative;
  HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring child = relative.empty() ? name : relative + L"\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      list_tree(root, child);
    } else {
      uint64_t size = 0;
      uint64_t hash = fnv1a(root + L"\\" + child, &size);
      printf("file %ls %llu %016llx\n", child.c_str(), static_cast<unsigned long long>(size),
             static_cast<unsigned long long>(hash));
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

void print_variable(const wchar_t* name) {
  wchar_t value[32768];
  DWORD length = GetEnvironmentVariableW(name, value, 32768);
  printf("%ls=%ls\n", name, length ? value : L"<unset>");
}

}  // namespace

extern "C" __declspec(dllexport) int run_code(int argc, wchar_t** argv,
                                              const wchar_t* library_path) {
  printf("argc=%d argv0=%ls\n", argc, argc > 0 ? argv[0] : L"");
  printf("library=%ls\n", library_path);
  print_variable(L"VELDOR_ONEFILE_PARENT");
  print_variable(L"VELDOR_ONEFILE_TIME_US");
  print_variable(L"VELDOR_ONEFILE_RANDOM");
  std::wstring directory = library_path;
  directory = directory.substr(0, directory.find_last_of(L'\\'));
  list_tree(directory, L"");
  fflush(stdout);
  return 0;
}
