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
  bool checksum = false;      // whether the frame stores a content checksum
};

// Takes each record's content as the record stream is decoded. Each call
// returns false to stop the reading, with the reason in *error.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  virtual bool begin(const std::u16string& name, uint64_t size, std::string* error) = 0;
  virtual bool write(const unsigned char* data, size_t size, std::string* error) = 0;
  // After the last content byte of the record begun last.
  virtual bool end(std::string* error) = 0;
};

// On failure returns false with a one-line message naming exe_path. A sink,
// when given, sees every record as it is decoded, before the block is known
// to be sound to its end: read the listing first to know that.
bool read_attached_listing(const std::string& exe_path, AttachedListing* listing,
                           std::string* error, RecordSink* sink = nullptr);
