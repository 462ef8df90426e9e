#include "mapped_file.h"

#include <errno.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>

#include "host_files.h"
#include "utf16.h"
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32
bool map_file(const std::string& path, MappedFile* file, std::string* error) {
  *file = MappedFile();
  FileKind kind;
  uint64_t size;
  if (!host_stat(path, &kind, &size)) {
    *error = "cannot read '" + path + "': " + strerror(errno);
    return false;
  }
  if (kind != FileKind::kRegular) {
    *error = "cannot read '" + path + "': not a regular file";
    return false;
  }
  if (size == 0) return true;
  std::u16string units;
  utf8_to_utf16(path, &units);
  std::wstring wide(units.begin(), units.end());
  HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE mapping = handle == INVALID_HANDLE_VALUE
                       ? nullptr
                       : CreateFileMappingW(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  void* data = mapping == nullptr ? nullptr : MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  DWORD code = GetLastError();
  if (mapping != nullptr) CloseHandle(mapping);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  if (data == nullptr) {
    *error = "cannot read '" + path + "': error " + std::to_string(code);
    return false;
  }
  file->data = static_cast<const unsigned char*>(data);
  file->size = static_cast<size_t>(size);
  return true;
}

void unmap_file(MappedFile* file) {
  if (file->data != nullptr) UnmapViewOfFile(file->data);
  *file = MappedFile();
}
#else
bool map_file(const std::string& path, MappedFile* file, std::string* error) {
  *file = MappedFile();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot read '" + path + "': " + strerror(errno);
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    *error = "cannot read '" + path + "': " + strerror(errno);
    close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = "cannot read '" + path + "': not a regular file";
    close(fd);
    return false;
  }
  file->size = static_cast<size_t>(st.st_size);
  if (file->size > 0) {
    void* data = mmap(nullptr, file->size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (data == MAP_FAILED) {
      *error = "cannot read '" + path + "': " + strerror(errno);
      close(fd);
      file->size = 0;
      return false;
    }
    file->data = static_cast<const unsigned char*>(data);
  }
  close(fd);
  return true;
}

void unmap_file(MappedFile* file) {
  if (file->data != nullptr) munmap(const_cast<unsigned char*>(file->data), file->size);
  *file = MappedFile();
}
#endif
