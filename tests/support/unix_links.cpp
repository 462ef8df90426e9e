#include "tests/support/unix_links.h"

#include <windows.h>

namespace {

typedef char*(CDECL* UnixFileNameFunction)(const wchar_t*);

// Wine's own export names the Unix path of a Windows one; the memory it
// returns comes from the process heap.
std::string unix_name(const std::wstring& path) {
  auto to_unix = reinterpret_cast<UnixFileNameFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (to_unix == nullptr) return std::string();
  char* name = to_unix(path.c_str());
  if (name == nullptr) return std::string();
  std::string result(name);
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Wine starts a Unix program named by its Unix path like any other, but
// the handle it gives does not follow the program to its end: the caller
// waits for the program's effect instead.
void start_unix_program(std::wstring line) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION created = {};
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, /*bInheritHandles=*/FALSE, 0, nullptr,
                      nullptr, &startup, &created)) {
    return;
  }
  CloseHandle(created.hProcess);
  CloseHandle(created.hThread);
}

bool wait_until_present(const std::wstring& path, bool present) {
  // Symbolic links are seen as they are, whether their target exists or not.
  for (int waited = 0; waited < 10000; waited += 10) {
    if ((GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) == present) return true;
    Sleep(10);
  }
  return false;
}

std::wstring quoted(const std::string& text) { return L"\"" + widen(text) + L"\""; }

}  // namespace

bool make_unix_symlink(const std::wstring& target, const std::wstring& link) {
  std::string unix_target = unix_name(target);
  std::string unix_link = unix_name(link);
  if (unix_target.empty() || unix_link.empty()) return false;
  start_unix_program(L"/bin/ln -s " + quoted(unix_target) + L" " + quoted(unix_link));
  return wait_until_present(link, true);
}

bool remove_unix_tree(const std::wstring& path) {
  // Started for nothing, rm could still be running when the path is made
  // anew.
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
  std::string unix_path = unix_name(path);
  if (unix_path.empty()) return false;
  start_unix_program(L"/bin/rm -rf " + quoted(unix_path));
  return wait_until_present(path, false);
}

std::wstring fresh_link_scratch_directory(const wchar_t* tag) {
  wchar_t temporary[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temporary);
  std::wstring path = std::wstring(temporary) + L"test_" + tag;
  remove_unix_tree(path);
  CreateDirectoryW(path.c_str(), nullptr);
  return path;
}
