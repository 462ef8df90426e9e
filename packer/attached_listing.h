// Reads the attached data of a built launcher the way the launcher does:
// the block in the image's attached data section, its one Zstandard
// frame decoded at the library's default limits, and the record stream.
// Everything the launcher would trip over is reported as damage.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct ListedRecord {
  std::u16string name;
  uint64_t size = 0;
};

struct AttachedListing {
  std::vector<ListedRecord> records;
  uint64_t block_bytes = 0;   // L, magic to trailer
  uint64_t window_bytes = 0;  // the decoder memory the frame asks for
};

// On failure returns false with a one-line message naming exe_path.
bool read_attached_listing(const std::string& exe_path, AttachedListing* listing,
                           std::string* error);
