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
#include <dirent.h>
#include <limits.h>
#include <unistd.h>
#endif

#include "record_names.h"
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

#ifdef _WIN32
bool host_stat(const std::string& path, FileKind* kind, uint64_t* size) {
  struct _stat64 st;
  if (_wstat64(wide(path).c_str(), &st) != 0) return false;
  *kind = (st.st_mode & _S_IFMT) == _S_IFREG ? FileKind::kRegular
          : (st.st_mode & _S_IFMT) == _S_IFDIR ? FileKind::kDirectory : FileKind::kOther;
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

FileIdentity file_identity(const std::string& path) {
  FileIdentity id;
  HANDLE handle = CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return id;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(handle, &info)) {
    id.volume = info.dwVolumeSerialNumber;
    id.file = uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    id.known = true;
  }
  CloseHandle(handle);
  return id;
}

bool read_directory(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(wide(path + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    errno = GetLastError() == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
    return false;
  }
  do {
    std::u16string name(reinterpret_cast<const char16_t*>(found.cFileName));
    if (name != u"." && name != u"..") names->push_back(utf16_to_utf8(name));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return true;
}

FILE* open_file(const std::string& path, const char* mode) {
  std::wstring wide_mode(mode, mode + strlen(mode));
  return _wfopen(wide(path).c_str(), wide_mode.c_str());
}
#else
bool host_stat(const std::string& path, FileKind* kind, uint64_t* size) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  *kind = S_ISREG(st.st_mode) ? FileKind::kRegular
          : S_ISDIR(st.st_mode) ? FileKind::kDirectory : FileKind::kOther;
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

FileIdentity file_identity(const std::string& path) {
  FileIdentity id;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    id.volume = static_cast<uint64_t>(st.st_dev);
    id.file = static_cast<uint64_t>(st.st_ino);
    id.known = true;
  }
  return id;
}

bool read_directory(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return false;
  errno = 0;
  while (struct dirent* entry = readdir(dir)) {
    if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
      names->push_back(entry->d_name);
  }
  int read_errno = errno;
  closedir(dir);
  errno = read_errno;
  return read_errno == 0;
}

FILE* open_file(const std::string& path, const char* mode) { return fopen(path.c_str(), mode); }
#endif

bool seek_file(FILE* file, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

bool is_other_than_regular_file(const std::string& path) {
#ifdef _WIN32
  size_t slash = path.find_last_of("/\\:");
  if (is_device_name(slash == std::string::npos ? path : path.substr(slash + 1))) return true;
  HANDLE handle = CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  bool regular = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
                 (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  CloseHandle(handle);
  return !regular;
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
    // Shared for deletion, so that the console handler can remove it while open.
    HANDLE handle = CreateFileW(wide(temporary_path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE,
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
