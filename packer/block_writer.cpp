#include "block_writer.h"

#include <errno.h>
#include <stdlib.h>
#include <stdio.h>
#include <string.h>
#include <zstd.h>

#include "attached/block_format.h"
#include "host_files.h"

namespace {

const size_t kTrailerAlignment = ATTACHED_TRAILER_ALIGNMENT;
// The least a block takes besides its frame: the magic and the trailer.
const uint64_t kLeastFraming = ATTACHED_MAGIC_LENGTH + ATTACHED_TRAILER_LENGTH;
// Files are read in pieces of this size on their way to the compressor.
const size_t kReadPiece = 1 << 20;

struct Writer {
  FILE* out = nullptr;
  ZSTD_CCtx* cctx = nullptr;
  std::vector<unsigned char> compressed;
  uint64_t frame_bytes = 0;
  uint64_t room = UINT64_MAX;  // the most the whole block may take
  bool* too_large = nullptr;
  std::string out_path;
  std::string* error = nullptr;

  bool fail(const std::string& message) {
    *error = message;
    return false;
  }

  // Whether a block of at least block_size bytes would pass the room.
  bool past_room(uint64_t block_size) {
    if (block_size <= room) return false;
    *too_large = true;
    fail("the attached data would be larger than the " + std::to_string(room) +
         " bytes an executable has room for");
    return true;
  }

  bool write_raw(const void* data, size_t size) {
    if (fwrite(data, 1, size, out) != size)
      return fail("cannot write '" + out_path + "': " + strerror(errno));
    return true;
  }

  // Feeds bytes of the record stream to the compressor; ZSTD_e_end finishes
  // the frame.
  bool feed(const void* data, size_t size, ZSTD_EndDirective mode) {
    ZSTD_inBuffer input = {data, size, 0};
    for (;;) {
      ZSTD_outBuffer output = {compressed.data(), compressed.size(), 0};
      size_t left = ZSTD_compressStream2(cctx, &output, &input, mode);
      if (ZSTD_isError(left))
        return fail(std::string("compression failed: ") + ZSTD_getErrorName(left));
      frame_bytes += output.pos;
      if (past_room(kLeastFraming + frame_bytes)) return false;
      if (!write_raw(compressed.data(), output.pos)) return false;
      bool done = mode == ZSTD_e_end ? left == 0 : input.pos == input.size;
      if (done) return true;
    }
  }
};

void put_u64(unsigned char* p, uint64_t value) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::string encode_name(const std::u16string& name) {
  std::string bytes;
  for (char16_t unit : name) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  bytes.append(2, '\0');
  return bytes;
}

bool stream_file(Writer& w, const BlockRecord& record, uint64_t size,
                 std::vector<unsigned char>& piece, const BlockOptions& options,
                 uint64_t record_number, uint64_t* content_done) {
  FILE* in = open_file(record.path, "rb");
  if (in == nullptr) return w.fail("cannot read '" + record.path + "': " + strerror(errno));
  uint64_t left = size;
  bool ok = true;
  while (ok && left > 0) {
    size_t want = left < piece.size() ? static_cast<size_t>(left) : piece.size();
    size_t got = fread(piece.data(), 1, want, in);
    if (got != want) {
      ok = w.fail("cannot read '" + record.path + "': " +
                  (ferror(in) ? strerror(errno) : "file shrank while packing"));
      break;
    }
    ok = w.feed(piece.data(), got, ZSTD_e_continue);
    left -= got;
    *content_done += got;
    if (options.progress) options.progress(record_number, *content_done);
  }
  if (ok && fgetc(in) != EOF) ok = w.fail("cannot read '" + record.path + "': file grew while packing");
  fclose(in);
  return ok;
}

bool write_block(Writer& w, const std::vector<BlockRecord>& records,
                 const BlockOptions& options, BlockSummary* summary) {
  std::vector<uint64_t> sizes;
  uint64_t stream_bytes = 2;  // the terminating empty name
  for (const BlockRecord& record : records) {
    FileKind kind;
    uint64_t size;
    if (!host_stat(record.path, &kind, &size))
      return w.fail("cannot read '" + record.path + "': " + strerror(errno));
    if (kind != FileKind::kRegular) return w.fail("cannot read '" + record.path + "': not a regular file");
    sizes.push_back(size);
    stream_bytes += 2 * (record.name.size() + 1) + 8 + sizes.back();
    summary->content_bytes += sizes.back();
  }
  summary->records = records.size();
  summary->stream_bytes = stream_bytes;

  w.cctx = ZSTD_createCCtx();
  if (w.cctx == nullptr) return w.fail("out of memory");
  ZSTD_CCtx_setParameter(w.cctx, ZSTD_c_compressionLevel, options.level);
  // Any number of workers from one on gives the same frame: the library
  // cuts the stream into jobs by level and window, not by workers.
  if (ZSTD_isError(ZSTD_CCtx_setParameter(w.cctx, ZSTD_c_nbWorkers, options.threads)))
    return w.fail("this build of Zstandard cannot compress with threads");
  if (options.window_log != 0) ZSTD_CCtx_setParameter(w.cctx, ZSTD_c_windowLog, options.window_log);
  ZSTD_CCtx_setParameter(w.cctx, ZSTD_c_checksumFlag, options.checksum ? 1 : 0);
  ZSTD_CCtx_setParameter(w.cctx, ZSTD_c_contentSizeFlag, options.declare_content_size ? 1 : 0);
  // Declaring the size also lets the library shrink the window to the stream.
  if (options.declare_content_size) ZSTD_CCtx_setPledgedSrcSize(w.cctx, stream_bytes);
  w.compressed.resize(ZSTD_CStreamOutSize());

  if (w.past_room(kLeastFraming) || !w.write_raw(ATTACHED_MAGIC, ATTACHED_MAGIC_LENGTH)) return false;
  std::vector<unsigned char> piece(kReadPiece);
  uint64_t content_done = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    if (options.progress) options.progress(i + 1, content_done);
    std::string name = encode_name(records[i].name);
    unsigned char size_field[8];
    put_u64(size_field, sizes[i]);
    if (!w.feed(name.data(), name.size(), ZSTD_e_continue)) return false;
    if (!w.feed(size_field, sizeof size_field, ZSTD_e_continue)) return false;
    if (!stream_file(w, records[i], sizes[i], piece, options, i + 1, &content_done)) return false;
  }
  const unsigned char terminator[2] = {0, 0};
  if (!w.feed(terminator, sizeof terminator, ZSTD_e_continue)) return false;
  if (!w.feed(nullptr, 0, ZSTD_e_end)) return false;

  uint64_t trailer_offset = ATTACHED_MAGIC_LENGTH + w.frame_bytes;
  size_t pad = (kTrailerAlignment - trailer_offset % kTrailerAlignment) % kTrailerAlignment;
  const unsigned char zeros[kTrailerAlignment] = {};
  if (w.past_room(trailer_offset + pad + ATTACHED_TRAILER_LENGTH) || !w.write_raw(zeros, pad))
    return false;
  trailer_offset += pad;
  unsigned char trailer[8];
  put_u64(trailer, trailer_offset);
  if (!w.write_raw(trailer, sizeof trailer)) return false;
  summary->block_bytes = trailer_offset + sizeof trailer;
  return true;
}

}  // namespace

bool write_attached_block_to(FILE* out, const std::vector<BlockRecord>& records,
                             const BlockOptions& options, uint64_t room, const std::string& out_name,
                             BlockSummary* summary, std::string* error) {
  *summary = BlockSummary();
  Writer w;
  w.out = out;
  w.out_path = out_name;
  w.error = error;
  w.room = room;
  w.too_large = &summary->too_large;
  bool ok = write_block(w, records, options, summary);
  ZSTD_freeCCtx(w.cctx);
  return ok;
}

bool write_attached_block(const std::vector<BlockRecord>& records,
                          const BlockOptions& options, const std::string& out_path,
                          BlockSummary* summary, std::string* error) {
  // A name of its own for each writer: the build may run two writers of one
  // block at once, and each must rename a complete file into place.
  FILE* out = open_temporary_beside(out_path, error);
  if (out == nullptr) return false;
  bool ok = write_attached_block_to(out, records, options, UINT64_MAX, out_path, summary, error);
  return commit_temporary(out, ok, error) && ok;
}
