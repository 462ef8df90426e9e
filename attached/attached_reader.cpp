#include "attached/attached_reader.h"

#include <stdlib.h>
#include <string.h>
#include <zstd.h>

#include "attached/attached_reader_testing.h"
#include "common/error_reporting.h"

// Between decoder calls output.size is the window's fill and output.pos the
// read position; during a call they are the window's size and the produced
// count, as the library wants them.
static struct {
  ZSTD_DCtx* decoder;
  ZSTD_inBuffer input;
  unsigned char* window;
  ZSTD_outBuffer output;
  // Whether the most recent decoder call ended the frame: its last block
  // decoded, its checksum (when it has one) matched, and every decoded byte
  // in the window.
  bool frame_ended;
} attached_reader;

static uint64_t decoder_calls;

void open_attached_reader_over(const unsigned char* span, uint64_t size) {
  attached_reader.window = static_cast<unsigned char*>(malloc(ATTACHED_WINDOW_SIZE));
  if (attached_reader.window == nullptr) fail_with_message(MESSAGE_OUT_OF_MEMORY);
  attached_reader.decoder = ZSTD_createDCtx();
  if (attached_reader.decoder == nullptr) fail_with_message(MESSAGE_OUT_OF_MEMORY);
  attached_reader.output.dst = attached_reader.window;
  // A fresh reader starts with an empty window (only tests open twice).
  attached_reader.output.size = 0;
  attached_reader.output.pos = 0;
  attached_reader.input.src = span;
  attached_reader.input.size = size;
  attached_reader.input.pos = 0;
  attached_reader.frame_ended = false;
}

void read_attached_bytes(void* destination, uint64_t count) {
  unsigned char* out = static_cast<unsigned char*>(destination);
  ZSTD_outBuffer& window = attached_reader.output;
  // Whether this read's last decoder call filled the window: the decoder may
  // then hold more output although all input is consumed.
  bool filled = false;
  while (count > 0) {
    if (window.pos < window.size) {
      uint64_t n = window.size - window.pos;
      if (n > count) n = count;
      memcpy(out, attached_reader.window + window.pos, n);
      window.pos += n;
      out += n;
      count -= n;
    } else if (attached_reader.input.pos < attached_reader.input.size || filled) {
      window.size = ATTACHED_WINDOW_SIZE;
      window.pos = 0;
      ++decoder_calls;
      size_t result = ZSTD_decompressStream(attached_reader.decoder, &window,
                                            &attached_reader.input);
      if (ZSTD_isError(result)) fail_with_message(MESSAGE_DECODE_FAILED);
      attached_reader.frame_ended = result == 0;
      filled = window.pos == ATTACHED_WINDOW_SIZE;
      window.size = window.pos;
      window.pos = 0;
    } else {
      fail_with_message(MESSAGE_DECODE_FAILED);
    }
  }
}

void finish_attached_frame() {
  ZSTD_outBuffer& window = attached_reader.output;
  if (window.pos < window.size) fail_with_message(MESSAGE_DECODE_FAILED);
  // A sound stream normally ended its frame in the call that decoded the
  // terminator; otherwise the rest of the frame must decode to nothing.
  while (!attached_reader.frame_ended) {
    size_t consumed_before = attached_reader.input.pos;
    window.size = ATTACHED_WINDOW_SIZE;
    window.pos = 0;
    ++decoder_calls;
    size_t result = ZSTD_decompressStream(attached_reader.decoder, &window, &attached_reader.input);
    // An error, a decoded byte, or a frame that cannot go on for want of
    // input (its end or its checksum cut off) all mean other data.
    if (ZSTD_isError(result) || window.pos != 0 ||
        (result != 0 && attached_reader.input.pos == consumed_before)) {
      fail_with_message(MESSAGE_DECODE_FAILED);
    }
    window.size = 0;
    attached_reader.frame_ended = result == 0;
  }
}

void close_attached_reader() {
  ZSTD_freeDCtx(attached_reader.decoder);
  free(attached_reader.window);
}

uint64_t attached_decoder_calls() { return decoder_calls; }
