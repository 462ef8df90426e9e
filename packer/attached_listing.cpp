#include "attached_listing.h"

#include <string.h>
// For the frame header, which tells the window the launcher will need.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include <algorithm>

#include "attached/block_format.h"
#include "byte_order.h"
#include "mapped_file.h"
#include "pe_image.h"
#include "record_names.h"

namespace {

const size_t kMagicBytes = ATTACHED_MAGIC_LENGTH;
const size_t kTrailerAlignment = ATTACHED_TRAILER_ALIGNMENT;
const size_t kSizeFieldBytes = ATTACHED_SIZE_FIELD_LENGTH;
const uint64_t kLauncherWindowLimit = uint64_t(1) << ATTACHED_MAX_WINDOW_LOG;

// Takes the decoded record stream piece by piece.
struct RecordStream {
  enum State { kName, kSize, kContent, kEnded } state = kName;
  std::vector<ListedRecord>* records;
  unsigned char pending[kSizeFieldBytes];
  size_t pending_bytes = 0;
  std::u16string name;
  uint64_t content_left = 0;
  bool trailing_data = false;
  bool name_too_long = false;
  RecordSink* sink = nullptr;
  std::string sink_error;  // non-empty once the sink stopped the reading

  bool sink_failed() const { return !sink_error.empty(); }

  // The sink's calls; a failure without a reason still stops the reading.
  bool to_sink(bool ok) {
    if (!ok && sink_error.empty()) sink_error = "the records cannot be written";
    return ok;
  }

  void take(const unsigned char* data, size_t size) {
    size_t i = 0;
    while (i < size && !sink_failed()) {
      switch (state) {
        case kName:
          pending[pending_bytes++] = data[i++];
          if (pending_bytes == 2) {
            char16_t unit = static_cast<char16_t>(pending[0] | pending[1] << 8);
            pending_bytes = 0;
            if (unit != 0) {
              name.push_back(unit);
              if (name.size() > kMaxRecordNameUnits) name_too_long = true;
            } else if (name.empty()) {
              state = kEnded;
            } else {
              state = kSize;
            }
          }
          break;
        case kSize:
          pending[pending_bytes++] = data[i++];
          if (pending_bytes == kSizeFieldBytes) {
            pending_bytes = 0;
            content_left = u64(pending);
            records->push_back({name, content_left});
            state = content_left == 0 ? kName : kContent;
            if (sink != nullptr &&
                (!to_sink(sink->begin(name, content_left, &sink_error)) ||
                 (content_left == 0 && !to_sink(sink->end(&sink_error)))))
              return;
            name.clear();
          }
          break;
        case kContent: {
          uint64_t n = std::min<uint64_t>(content_left, size - i);
          if (sink != nullptr && !to_sink(sink->write(data + i, n, &sink_error))) return;
          i += n;
          content_left -= n;
          if (content_left == 0) {
            state = kName;
            if (sink != nullptr && !to_sink(sink->end(&sink_error))) return;
          }
          break;
        }
        case kEnded:
          trailing_data = true;
          return;
      }
    }
  }
};

// On failure *problem says what is wrong with the block, or *sink_error
// why the sink stopped.
bool read_block(const unsigned char* data, size_t size, AttachedListing* listing,
                RecordSink* sink, std::string* problem, std::string* sink_error) {
  if (size < kMagicBytes || memcmp(data, ATTACHED_MAGIC, kMagicBytes) != 0) {
    *problem = "no attached data header \"" ATTACHED_MAGIC "\" at the start of its attached data";
    return false;
  }
  const unsigned char* frame = data + kMagicBytes;
  size_t frame_bytes = ZSTD_findFrameCompressedSize(frame, size - kMagicBytes);
  if (ZSTD_isError(frame_bytes)) {
    *problem = std::string("damaged attached data: the compressed frame is broken (") +
               ZSTD_getErrorName(frame_bytes) + ")";
    return false;
  }
  ZSTD_frameHeader header;
  if (ZSTD_getFrameHeader(&header, frame, frame_bytes) != 0) {
    *problem = "damaged attached data: the compressed frame has no header";
    return false;
  }
  listing->window_bytes = header.windowSize;
  listing->checksum = header.checksumFlag != 0;
  if (header.windowSize > kLauncherWindowLimit) {
    *problem = "damaged attached data: the frame asks for a window of " +
               std::to_string(header.windowSize) + " bytes, more than the launcher's " +
               std::to_string(kLauncherWindowLimit);
    return false;
  }
  size_t end = kMagicBytes + frame_bytes;
  size_t trailer = (end + kTrailerAlignment - 1) / kTrailerAlignment * kTrailerAlignment;
  bool pad_is_zero = true;
  for (size_t i = end; i < trailer && i < size; ++i) pad_is_zero = pad_is_zero && data[i] == 0;
  if (trailer + ATTACHED_TRAILER_LENGTH > size || !pad_is_zero || u64(data + trailer) != trailer) {
    *problem = "damaged attached data: no trailer holding its own offset after the frame";
    return false;
  }
  listing->block_bytes = trailer + ATTACHED_TRAILER_LENGTH;

  ZSTD_DCtx* decoder = ZSTD_createDCtx();
  if (decoder == nullptr) {
    *problem = "out of memory for the decoder";
    return false;
  }
  std::vector<unsigned char> window(ZSTD_DStreamOutSize());
  RecordStream stream;
  stream.records = &listing->records;
  stream.sink = sink;
  ZSTD_inBuffer input = {frame, frame_bytes, 0};
  size_t result = 1;
  while (result != 0 && !ZSTD_isError(result)) {
    ZSTD_outBuffer output = {window.data(), window.size(), 0};
    result = ZSTD_decompressStream(decoder, &output, &input);
    if (!ZSTD_isError(result)) stream.take(window.data(), output.pos);
    if (stream.sink_failed()) break;
    if (input.pos == input.size && output.pos < output.size) break;
  }
  ZSTD_freeDCtx(decoder);
  if (stream.sink_failed()) {
    *sink_error = stream.sink_error;
    return false;
  }
  if (ZSTD_isError(result)) {
    *problem = std::string("damaged attached data: decoding failed (") + ZSTD_getErrorName(result) + ")";
    return false;
  }
  if (result != 0) {
    *problem = "damaged attached data: the compressed frame is cut short";
    return false;
  }
  if (stream.name_too_long) {
    *problem = "damaged attached data: a record name is longer than " +
               std::to_string(kMaxRecordNameUnits) + " units";
    return false;
  }
  if (stream.state != RecordStream::kEnded) {
    *problem = "damaged attached data: the record stream ends inside a record";
    return false;
  }
  if (stream.trailing_data) {
    *problem = "damaged attached data: bytes follow the end of the record stream";
    return false;
  }
  if (listing->records.empty()) {
    *problem = "damaged attached data: it holds no application library";
    return false;
  }
  return true;
}

}  // namespace

bool read_attached_listing(const std::string& exe_path, AttachedListing* listing,
                           std::string* error, RecordSink* sink) {
  *listing = AttachedListing();
  MappedFile file;
  if (!map_file(exe_path, &file, error)) return false;
  PeImage image;
  std::string problem;
  std::string sink_error;
  bool ok = parse_pe_image(file, &image, &problem);
  if (!ok) {
    problem = "it " + problem;
  } else if (const PeSection* block = find_section(image, ATTACHED_BLOCK_SECTION)) {
    // The section's stored bytes are padded; its virtual size is L.
    uint32_t length = block->virtual_size < block->raw_size ? block->virtual_size : block->raw_size;
    ok = read_block(file.data + block->raw_offset, length, listing, sink, &problem, &sink_error);
  } else {
    problem = "it has no attached data section " ATTACHED_BLOCK_SECTION;
    ok = false;
  }
  unmap_file(&file);
  if (!ok) *error = sink_error.empty() ? "'" + exe_path + "': " + problem : sink_error;
  return ok;
}
