// A whole file, read-only, mapped into memory: executables and libraries are
// looked at in place, however large.
#pragma once

#include <stddef.h>

#include <string>

struct MappedFile {
  const unsigned char* data = nullptr;
  size_t size = 0;
};

// On failure returns false with "cannot read 'path': reason" in *error.
bool map_file(const std::string& path, MappedFile* file, std::string* error);
void unmap_file(MappedFile* file);
