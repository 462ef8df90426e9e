#include "icon_file.h"

#include <stdint.h>
#include <string.h>

#include "byte_order.h"
#include "mapped_file.h"

namespace {

// The file's fixed structures: ICONDIR, then one ICONDIRENTRY per image.
const size_t kDirectoryHeaderSize = 6;
const size_t kEntrySize = 16;
const size_t kBitmapHeaderSize = 40;  // BITMAPINFOHEADER, the smallest icons use
const size_t kPngHeaderSize = 8 + 8 + 13;  // signature, IHDR length and type, IHDR data
const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};


bool check_image(const unsigned char* image, uint32_t length, std::string* problem) {
  if (length >= sizeof kPngSignature && memcmp(image, kPngSignature, sizeof kPngSignature) == 0) {
    if (length < kPngHeaderSize || memcmp(image + 12, "IHDR", 4) != 0) {
      *problem = "a PNG image without its header";
      return false;
    }
    return true;
  }
  if (length < kBitmapHeaderSize || u32(image) < kBitmapHeaderSize) {
    *problem = "an image that is neither a bitmap nor a PNG";
    return false;
  }
  uint16_t planes = u16(image + 12);
  uint16_t bits = u16(image + 14);
  if (planes != 1 || !(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)) {
    *problem = "a bitmap with an unusable pixel format";
    return false;
  }
  return true;
}

}  // namespace

bool parse_icon(const MappedFile& file, std::vector<IconImage>* images, std::string* problem) {
  images->clear();
  if (file.size < kDirectoryHeaderSize || u16(file.data) != 0 || u16(file.data + 2) != 1) {
    *problem = "no icon directory at its start";
    return false;
  }
  uint16_t count = u16(file.data + 4);
  if (count == 0) {
    *problem = "no images";
    return false;
  }
  uint64_t images_start = kDirectoryHeaderSize + uint64_t(count) * kEntrySize;
  if (images_start > file.size) {
    *problem = "a directory of " + std::to_string(count) + " images cut short";
    return false;
  }
  for (uint16_t i = 0; i < count; ++i) {
    const unsigned char* entry = file.data + kDirectoryHeaderSize + i * kEntrySize;
    uint32_t length = u32(entry + 8);
    uint32_t offset = u32(entry + 12);
    std::string which = "image " + std::to_string(i + 1) + " is ";
    if (length == 0 || offset < images_start || offset > file.size || length > file.size - offset) {
      *problem = which + "outside the file";
      return false;
    }
    if (!check_image(file.data + offset, length, problem)) {
      *problem = which + *problem;
      return false;
    }
    IconImage image;
    image.directory_entry.assign(reinterpret_cast<const char*>(entry), kEntrySize);
    image.data.assign(reinterpret_cast<const char*>(file.data + offset), length);
    images->push_back(image);
  }
  return true;
}

bool read_icon_file(const std::string& path, std::vector<IconImage>* images, std::string* error) {
  MappedFile file;
  if (!map_file(path, &file, error)) return false;
  std::string problem;
  bool ok = parse_icon(file, images, &problem);
  unmap_file(&file);
  if (!ok) *error = "'" + path + "' is not a usable icon file: " + problem;
  return ok;
}
