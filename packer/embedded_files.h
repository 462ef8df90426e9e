// Files the packer carries inside itself, so that it is one self-contained
// program: the prebuilt launcher image, the launcher's default icon and its
// application manifest. The build puts them into embedded_files.S.
#pragma once

#include <stddef.h>

struct EmbeddedFile {
  const unsigned char* data;
  size_t size;
};

extern const EmbeddedFile embedded_launcher_image;
extern const EmbeddedFile embedded_icon;
extern const EmbeddedFile embedded_manifest;
