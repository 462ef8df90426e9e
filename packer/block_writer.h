// Writes the attached data block: "JUX", one Zstandard frame holding the
// record stream, zero pad to an 8-byte boundary and the trailer that holds
// its own offset. File contents are streamed through the compressor, never
// held whole.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <functional>
#include <string>
#include <vector>

struct BlockRecord {
  std::u16string name;  // backslash-separated, relative to the target directory
  std::string path;     // host file to read the content from
};

struct BlockOptions {
  int level = 9;
  // The loading child keeps the decoder for its whole life, and the decoder
  // holds memory in proportion to the frame's window: 2^23 keeps it at 8 MiB.
  int window_log = 23;
  bool declare_content_size = true;
  // A damaged executable then fails while unpacking instead of running on
  // bad data.
  bool checksum = true;
  // Compression workers; the frame is the same for any number from 1 on.
  int threads = 1;
  // Called as content goes through the compressor, with the records begun
  // and the content bytes read so far; may be empty.
  std::function<void(uint64_t records, uint64_t content_bytes)> progress;
};

struct BlockSummary {
  uint64_t records = 0;
  uint64_t content_bytes = 0;  // sum of the files' sizes
  uint64_t stream_bytes = 0;   // decoded length of the record stream
  uint64_t block_bytes = 0;    // the block's length L
  bool too_large = false;      // refused for want of room
};

// Writes the block to out at its position, at most room bytes of it; on
// failure returns false with a one-line message naming out_name in *error.
bool write_attached_block_to(FILE* out, const std::vector<BlockRecord>& records,
                             const BlockOptions& options, uint64_t room, const std::string& out_name,
                             BlockSummary* summary, std::string* error);

// Writes the block to out_path through a temporary file beside it, renamed
// into place only when complete. On failure returns false with a one-line
// message naming the path in *error, and leaves no output behind.
bool write_attached_block(const std::vector<BlockRecord>& records,
                          const BlockOptions& options, const std::string& out_path,
                          BlockSummary* summary, std::string* error);
