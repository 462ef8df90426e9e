// Reads a user's .ico, checking it whole first: the images are copied into
// the executable as they are, and a broken file would only show as a broken
// icon on the user's desktop.
#pragma once

#include <string>
#include <vector>

#include "mapped_file.h"

struct IconImage {
  std::string directory_entry;  // the file's 16-byte ICONDIRENTRY
  std::string data;             // a bitmap (BITMAPINFOHEADER onwards) or a PNG
};

// False with the reason in *problem when the bytes are not an icon file
// whose every image is a complete bitmap or PNG.
bool parse_icon(const MappedFile& file, std::vector<IconImage>* images, std::string* problem);

// The same for a file; the one-line reason in *error names path.
bool read_icon_file(const std::string& path, std::vector<IconImage>* images, std::string* error);
