#include "host_files.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <limits.h>
#include <unistd.h>
#endif

#include "utf16.h"

namespace {

// The handler may only use what was prepared before: a fixed buffer.
char temporary_path[4096];
std::string final_name;
volatile sig_atomic_t temporary_exists = 0;

#ifdef _WIN32
std::wstring wide(const std::string& utf8) {
  std::u16string units;
  utf8_to_utf16(utf8, &units);
  return std::wstring(units.begin(), units.end());
}

BOOL WINAPI remove_on_console_event(DWORD) {
  if (temporary_exists) DeleteFileW(wide(temporary_path).c_str());
  return FALSE;  // the default handler ends the process
}
#else
void remove_on_signal(int signal_number) {
  if (temporary_exists) unlink(temporary_path);
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}
#endif

}  // namespace

bool seek_file(FILE* file, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

bool is_other_than_regular_file(const std::string& path) {
#ifdef _WIN32
  DWORD attributes = GetFileAttributesW(wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    // Device names such as NUL and CON have no attributes on older systems.
    return GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
  HANDLE handle = CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool disk = GetFileType(handle) == FILE_TYPE_DISK;
  CloseHandle(handle);
  return !disk;
#else
  struct stat st;
  return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
#endif
}

FILE* open_temporary_beside(const std::string& final_path, std::string* error) {
  size_t slash = final_path.find_last_of("/\\");
  std::string directory = slash == std::string::npos ? "" : final_path.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? final_path : final_path.substr(slash + 1);
  std::string pattern = directory + "." + base + ".partial-XXXXXX";
  if (pattern.size() >= sizeof temporary_path) {
    *error = "cannot write '" + final_path + "': path too long";
    return nullptr;
  }
  strcpy(temporary_path, pattern.c_str());
  final_name = final_path;
  FILE* file = nullptr;
#ifdef _WIN32
  // Six letters from the process id and a counter, tried until one is new.
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100 && file == nullptr; ++attempt) {
    snprintf(temporary_path + pattern.size() - 6, 7, "%06x",
             (GetCurrentProcessId() * 97 + counter++) & 0xFFFFFF);
    HANDLE handle = CreateFileW(wide(temporary_path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      break;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    file = fd < 0 ? nullptr : _fdopen(fd, "w+b");
  }
  if (file == nullptr) {
    *error = "cannot write '" + final_path + "': cannot create a file beside it";
    return nullptr;
  }
  SetConsoleCtrlHandler(remove_on_console_event, TRUE);
#else
  int fd = mkstemp(temporary_path);
  if (fd < 0 || (file = fdopen(fd, "w+b")) == nullptr) {
    *error = "cannot write '" + final_path + "': " + strerror(errno);
    if (fd >= 0) {
      close(fd);
      unlink(temporary_path);
    }
    return nullptr;
  }
  // mkstemp makes the file private; an executable is for everyone to run.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0777 & ~mask);
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = remove_on_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
#endif
  temporary_exists = 1;
  return file;
}

bool commit_temporary(FILE* file, bool keep, std::string* error) {
  bool closed = fclose(file) == 0;
  int close_errno = errno;
  if (keep && !closed) *error = "cannot write '" + final_name + "': " + strerror(close_errno);
  keep = keep && closed;
#ifdef _WIN32
  if (keep && !MoveFileExW(wide(temporary_path).c_str(), wide(final_name).c_str(),
                           MOVEFILE_REPLACE_EXISTING)) {
    *error = "cannot write '" + final_name + "': the file cannot be replaced (error " +
             std::to_string(GetLastError()) + ")";
    keep = false;
  }
  if (!keep) DeleteFileW(wide(temporary_path).c_str());
#else
  if (keep && rename(temporary_path, final_name.c_str()) != 0) {
    *error = "cannot write '" + final_name + "': " + strerror(errno);
    keep = false;
  }
  if (!keep) unlink(temporary_path);
#endif
  temporary_exists = 0;
  return keep;
}
