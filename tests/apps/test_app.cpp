// An application library for tests and the demo. Its environment variable
// TEST_APP_ACTIONS lists what run_code does, in order, separated by ';':
//
//   report=PATH     write what it received to PATH (see below)
//   ready=PATH      create PATH, to tell a waiting test that it runs
//   wait_file=PATH  wait until PATH exists
//   sleep=MS        sleep; a Ctrl+C under ctrl_c=finish cuts it short
//   ctrl_c=ignore   swallow console events and go on
//   ctrl_c=finish   swallow console events and go on with the next action
//   say=TEXT        write TEXT and a line feed to standard output
//   again=PATH      start this process's executable once more, with this
//                   environment but TEST_APP_ACTIONS=report=PATH, and wait
//                   for it, as an application that starts a worker does
//   exit=N          the value to return (decimal, 0x hex, or negative)
//   crash           write through a null pointer
//
// Without the variable it prints what it received and returns 0.
//
// A report is UTF-16LE text made of names and values, each ended by a zero
// unit, so that any argument survives it: argc, argv.N, library_path,
// module_path, process_image, pid, parent_pid, cwd, files (the files below
// the library's directory, sorted, one per line), loaded_at_entry (those of
// a few system libraries that the process held when run_code was called, one
// per line) and each VELDOR_ variable that is set.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

HANDLE ctrl_c_seen = CreateEventW(nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, nullptr);

BOOL WINAPI finish_on_console_event(DWORD) {
  SetEvent(ctrl_c_seen);
  return TRUE;
}

BOOL WINAPI ignore_console_event(DWORD) { return TRUE; }

std::wstring environment_value(const wchar_t* name, bool* present) {
  wchar_t value[32768];
  DWORD length = GetEnvironmentVariableW(name, value, 32768);
  *present = length > 0 && length < 32768;
  return *present ? std::wstring(value, length) : std::wstring();
}

DWORD parent_process_id() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  }
  CloseHandle(snapshot);
  return parent;
}

void list_files(const std::wstring& root, const std::wstring& relative,
                std::vector<std::wstring>* names) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      list_files(root, relative + name + L"\\", names);
    } else {
      names->push_back(relative + name);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// System libraries that a launcher loads only in the role that calls them.
const wchar_t* const WATCHED_LIBRARIES[] = {L"shell32.dll", L"user32.dll", L"advapi32.dll"};

// Taken first thing in run_code, before this library's own work loads more.
std::wstring loaded_at_entry;

std::wstring loaded_watched_libraries() {
  std::wstring loaded;
  for (const wchar_t* name : WATCHED_LIBRARIES) {
    if (GetModuleHandleW(name) != nullptr) loaded += std::wstring(name) + L"\n";
  }
  return loaded;
}

std::wstring directory_of(const std::wstring& path) {
  size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring own_module_path() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&own_module_path), &self);
  wchar_t path[32768];
  DWORD length = GetModuleFileNameW(self, path, 32768);
  return std::wstring(path, length);
}

std::vector<std::pair<std::wstring, std::wstring>> what_was_received(int argc, wchar_t** argv,
                                                                     const wchar_t* library_path) {
  std::vector<std::pair<std::wstring, std::wstring>> items;
  items.emplace_back(L"argc", std::to_wstring(argc));
  for (int i = 0; i < argc; ++i) items.emplace_back(L"argv." + std::to_wstring(i), argv[i]);
  items.emplace_back(L"library_path", library_path);
  items.emplace_back(L"module_path", own_module_path());
  wchar_t path[32768];
  DWORD length = GetModuleFileNameW(nullptr, path, 32768);
  items.emplace_back(L"process_image", std::wstring(path, length));
  items.emplace_back(L"pid", std::to_wstring(GetCurrentProcessId()));
  items.emplace_back(L"parent_pid", std::to_wstring(parent_process_id()));
  length = GetCurrentDirectoryW(32768, path);
  items.emplace_back(L"cwd", std::wstring(path, length));
  std::vector<std::wstring> names;
  list_files(directory_of(library_path), L"", &names);
  std::sort(names.begin(), names.end());
  std::wstring files;
  for (const std::wstring& name : names) files += name + L"\n";
  items.emplace_back(L"files", files);
  items.emplace_back(L"loaded_at_entry", loaded_at_entry);
  for (const wchar_t* name :
       {L"VELDOR_ONEFILE_PARENT", L"VELDOR_ONEFILE_DIRECTORY", L"VELDOR_ORIGINAL_ARGV0",
        L"VELDOR_ONEFILE_TIME_US", L"VELDOR_ONEFILE_RANDOM", L"VELDOR_ONEFILE_START"}) {
    bool present = false;
    std::wstring value = environment_value(name, &present);
    if (present) items.emplace_back(name, value);
  }
  return items;
}

void write_whole_file(const std::wstring& path, const void* data, size_t size) {
  // Written under another name first, so that a reader never sees half.
  std::wstring partial = path + L".partial";
  HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
  MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void write_report(const std::wstring& path, int argc, wchar_t** argv, const wchar_t* library_path) {
  std::wstring text;
  for (const auto& item : what_was_received(argc, argv, library_path)) {
    text += item.first;
    text += L'\0';
    text += item.second;
    text += L'\0';
  }
  write_whole_file(path, text.data(), text.size() * sizeof(wchar_t));
}

void write_line(const std::wstring& text) {
  std::string utf8(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], static_cast<int>(utf8.size()), nullptr,
                      nullptr);
  utf8.back() = '\n';
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written,
            nullptr);
}

void print_what_was_received(int argc, wchar_t** argv, const wchar_t* library_path) {
  for (const auto& item : what_was_received(argc, argv, library_path)) {
    write_line(item.first + L": " + item.second);
  }
}

void start_own_executable_again(const std::wstring& actions) {
  wchar_t path[32768];
  DWORD length = GetModuleFileNameW(nullptr, path, 32768);
  std::wstring executable(path, length);
  std::wstring line = L"\"" + executable + L"\" again";
  bool present = false;
  std::wstring own_actions = environment_value(L"TEST_APP_ACTIONS", &present);
  SetEnvironmentVariableW(L"TEST_APP_ACTIONS", actions.c_str());
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (CreateProcessW(executable.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  SetEnvironmentVariableW(L"TEST_APP_ACTIONS", own_actions.c_str());
}

bool file_exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

extern "C" __declspec(dllexport) int run_code(int argc, wchar_t** argv, const wchar_t* library_path) {
  loaded_at_entry = loaded_watched_libraries();
  bool present = false;
  std::wstring actions = environment_value(L"TEST_APP_ACTIONS", &present);
  if (!present) {
    print_what_was_received(argc, argv, library_path);
    return 0;
  }
  int result = 0;
  size_t start = 0;
  while (start <= actions.size()) {
    size_t end = actions.find(L';', start);
    if (end == std::wstring::npos) end = actions.size();
    std::wstring action = actions.substr(start, end - start);
    start = end + 1;
    size_t equals = action.find(L'=');
    std::wstring name = action.substr(0, equals);
    std::wstring value = equals == std::wstring::npos ? std::wstring() : action.substr(equals + 1);
    if (name == L"report") {
      write_report(value, argc, argv, library_path);
    } else if (name == L"ready") {
      write_whole_file(value, "", 0);
    } else if (name == L"wait_file") {
      while (!file_exists(value)) Sleep(20);
    } else if (name == L"sleep") {
      WaitForSingleObject(ctrl_c_seen, wcstoul(value.c_str(), nullptr, 0));
    } else if (name == L"ctrl_c") {
      SetConsoleCtrlHandler(value == L"finish" ? finish_on_console_event : ignore_console_event,
                            TRUE);
    } else if (name == L"again") {
      start_own_executable_again(L"report=" + value);
    } else if (name == L"say") {
      write_line(value);
    } else if (name == L"exit") {
      result = static_cast<int>(value[0] == L'-' ? wcstol(value.c_str(), nullptr, 0)
                                                 : wcstoul(value.c_str(), nullptr, 0));
    } else if (name == L"crash") {
      // No error dialog: the process just ends with the access violation.
      SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
      *static_cast<volatile int*>(nullptr) = 0;
    }
  }
  return result;
}
