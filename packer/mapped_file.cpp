#include "mapped_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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
