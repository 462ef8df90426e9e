// The executable's size limit as the block writer meets it: compression
// stops once the block would pass the room it was given, with the refusal
// noted, and never writes past that room; a block that fits is unchanged by
// the room around it.
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "block_writer.h"
#include "tests/support/host_check.h"

namespace {

// Bytes that do not compress, so that the block grows with the input.
std::string write_noise(size_t size) {
  char path[] = "/tmp/block-room-test-XXXXXX";
  int fd = mkstemp(path);
  FILE* file = fdopen(fd, "wb");
  unsigned state = 12345;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1103515245 + 12345;
    fputc(static_cast<int>(state >> 24), file);
  }
  fclose(file);
  return path;
}

long written(FILE* out) {
  fflush(out);
  return ftell(out);
}

void blocks_stop_at_their_room() {
  std::string noise = write_noise(1 << 20);
  std::vector<BlockRecord> records = {{u"app.dll", noise}};
  BlockOptions options;
  options.level = 1;

  FILE* roomy = tmpfile();
  BlockSummary fits;
  std::string error;
  expect(write_attached_block_to(roomy, records, options, 2 << 20, "roomy", &fits, &error),
         "a block within its room is written: " + error);
  expect(!fits.too_large && written(roomy) == static_cast<long>(fits.block_bytes),
         "the block's length is what was written");

  // The last room is one byte short of the whole block.
  for (uint64_t room : {uint64_t(0), uint64_t(4096), fits.block_bytes - 1}) {
    FILE* tight = tmpfile();
    BlockSummary summary;
    error.clear();
    bool ok = write_attached_block_to(tight, records, options, room, "tight", &summary, &error);
    expect(!ok && summary.too_large, "room " + std::to_string(room) + " is refused as too small");
    expect(written(tight) <= static_cast<long>(room),
           "nothing past room " + std::to_string(room) + " is written");
    expect(error.find(std::to_string(room) + " bytes") != std::string::npos,
           "the message names the room: " + error);
    fclose(tight);
  }
  expect(write_attached_block_to(tmpfile(), records, options, fits.block_bytes, "exact", &fits, &error),
         "a block exactly as long as its room is written");
  fclose(roomy);
  remove(noise.c_str());
}

}  // namespace

int main() {
  blocks_stop_at_their_room();
  return host_check_result("block room");
}
