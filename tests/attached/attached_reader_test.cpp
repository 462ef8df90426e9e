#include <stdint.h>

#include <gtest/gtest.h>
#include <zstd.h>

#include <string>
#include <vector>

#include "attached/attached_format.h"
#include "attached/attached_reader.h"
#include "attached/attached_reader_testing.h"
#include "tests/support/test_support.h"

namespace {

const uint64_t W = ATTACHED_WINDOW_SIZE;

struct Block {
  std::string bytes;
  const unsigned char* frame() const {
    return reinterpret_cast<const unsigned char*>(bytes.data()) + ATTACHED_MAGIC_LENGTH;
  }
  uint64_t frame_span() const { return bytes.size() - ATTACHED_MAGIC_LENGTH; }
};

Block load_block(const wchar_t* name) { return Block{read_test_data(name)}; }

uint64_t le64(const std::string& bytes, size_t at) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::wstring read_name() {
  std::wstring name;
  for (;;) {
    uint16_t unit = 0;
    read_attached_bytes(&unit, 2);
    if (unit == 0) return name;
    name.push_back(static_cast<wchar_t>(unit));
  }
}

uint64_t read_size() {
  unsigned char field[8];
  read_attached_bytes(field, 8);
  return le64(std::string(reinterpret_cast<char*>(field), 8), 0);
}

std::string read_content(uint64_t size) {
  std::string content;
  char piece[32768];
  while (size > 0) {
    uint64_t n = size < sizeof piece ? size : sizeof piece;
    read_attached_bytes(piece, n);
    content.append(piece, n);
    size -= n;
  }
  return content;
}

// Reads every record as the extracting parent does, then makes sure that
// the frame ends right after the terminator.
void read_stream_and_finish(const Block& block, uint64_t span) {
  open_attached_reader_over(block.frame(), span);
  for (;;) {
    std::wstring name = read_name();
    if (name.empty()) break;
    read_content(read_size());
  }
  finish_attached_frame();
}

size_t frame_length(const Block& block) {
  return ZSTD_findFrameCompressedSize(block.frame(), block.frame_span());
}

#define EXPECT_DECODE_FAILURE(statement)                      \
  EXPECT_EXIT_OUTPUT(statement, testing::ExitedWithCode(2), \
                     "Error, couldn't decode attached data.\r\n")

}  // namespace

TEST(AttachedBlock, ProducerWritesMagicPadAndSelfPointingTrailer) {
  for (const wchar_t* name : {L"straddle.bin", L"checksum.bin", L"window28.bin"}) {
    Block block = load_block(name);
    ASSERT_GE(block.bytes.size(), 19u);
    EXPECT_TRUE(has_attached_magic(reinterpret_cast<const unsigned char*>(block.bytes.data())));
    uint64_t trailer = block.bytes.size() - ATTACHED_TRAILER_LENGTH;
    EXPECT_EQ(trailer % ATTACHED_TRAILER_ALIGNMENT, 0u);
    EXPECT_EQ(le64(block.bytes, trailer), trailer);
    // Exactly one frame, then only zero pad up to the trailer.
    size_t frame = ZSTD_findFrameCompressedSize(block.frame(), block.frame_span());
    ASSERT_FALSE(ZSTD_isError(frame));
    for (size_t i = ATTACHED_MAGIC_LENGTH + frame; i < trailer; ++i) EXPECT_EQ(block.bytes[i], 0);
    EXPECT_LT(trailer - (ATTACHED_MAGIC_LENGTH + frame), ATTACHED_TRAILER_ALIGNMENT);
  }
  std::string wrong = load_block(L"straddle.bin").bytes;
  wrong[0] = 'K';
  EXPECT_FALSE(has_attached_magic(reinterpret_cast<const unsigned char*>(wrong.data())));
}

TEST(AttachedReader, ReadsAcrossWindowBordersWholeAndInOrder) {
  Block block = load_block(L"straddle.bin");
  open_attached_reader_over(block.frame(), block.frame_span());
  uint64_t calls = attached_decoder_calls();
  const char* names[] = {"a", "bb", "c", "d"};
  for (const char* expected : names) {
    uint64_t before = attached_decoder_calls();
    std::wstring name = read_name();
    EXPECT_EQ(name, std::wstring(expected, expected + strlen(expected)));
    uint64_t size = read_size();
    std::string want = read_test_data((std::wstring(L"..\\fixtures\\") + name).c_str());
    ASSERT_EQ(size, want.size()) << expected;
    EXPECT_EQ(read_content(size), want) << expected;
    // Each record's reads cross exactly one window border, each costing one
    // decoder call; the first also pays for the first window.
    EXPECT_EQ(attached_decoder_calls() - before, 1u) << expected;
  }
  EXPECT_EQ(read_name(), L"");
  // The terminator ends the stream, and the call that delivered it also
  // ended the frame: finishing asks nothing more of the decoder.
  finish_attached_frame();
  EXPECT_EQ(attached_decoder_calls() - calls, 4u);
  EXPECT_DECODE_FAILURE({ char one; read_attached_bytes(&one, 1); });
  close_attached_reader();
}

TEST(AttachedReader, PieceWithOneByteLeftTakesItThenRefills) {
  Block block = load_block(L"straddle.bin");
  open_attached_reader_over(block.frame(), block.frame_span());
  // Skip to one byte before the third border, where d's content begins.
  std::string skipped = read_content(3 * W - 1);
  uint64_t before = attached_decoder_calls();
  char piece[32768];
  read_attached_bytes(piece, sizeof piece);
  EXPECT_EQ(attached_decoder_calls() - before, 1u);
  std::string d = read_test_data(L"..\\fixtures\\d");
  EXPECT_EQ(std::string(piece, sizeof piece), d.substr(0, sizeof piece));
  close_attached_reader();
}

TEST(AttachedReader, DamagedOrUnsuitableFramesEndWithTheDecodeMessage) {
  Block straddle = load_block(L"straddle.bin");
  Block checksum = load_block(L"checksum.bin");
  Block window28 = load_block(L"window28.bin");
  struct Damage {
    const char* what;
    Block block;
    size_t offset;       // byte to flip, or 0 for none
    uint64_t span_less;  // bytes cut from the end of the span
  };
  const Damage damages[] = {
      {"frame magic", straddle, ATTACHED_MAGIC_LENGTH, 0},
      {"content under a checksum", checksum, checksum.bytes.size() - 400, 0},
      {"stream ends early", straddle, 0, straddle.frame_span() / 2},
      {"window over 2^27", window28, 0, 0},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    Block block = d.block;
    if (d.offset != 0) block.bytes[d.offset] ^= 0x5A;
    EXPECT_DECODE_FAILURE({
      open_attached_reader_over(block.frame(), block.frame_span() - d.span_less);
      for (;;) {
        std::wstring name = read_name();
        if (name.empty()) break;
        read_content(read_size());
      }
    });
  }
}

TEST(AttachedReader, SoundFramesEndRightAfterTheirTerminator) {
  for (const wchar_t* name : {L"straddle.bin", L"checksum.bin", L"unchecked.bin"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
    Block block = load_block(name);
    EXPECT_EXIT_OUTPUT({ read_stream_and_finish(block, block.frame_span()); exit(0); },
                       testing::ExitedWithCode(0), "");
  }
}

TEST(AttachedReader, DataThatDoesNotEndTheFrameAtTheTerminatorIsRefused) {
  Block checked = load_block(L"straddle.bin");
  size_t checked_frame = frame_length(checked);
  Block wrong_checksum = checked;
  wrong_checksum.bytes[ATTACHED_MAGIC_LENGTH + checked_frame - 1] ^= 0x01;
  struct Case {
    const char* what;
    Block block;
    uint64_t span;
  };
  const Case cases[] = {
      // Records read whole, yet the frame holds another decoded byte.
      {"bytes after the terminator, with a checksum", load_block(L"trailing_checked.bin"), 0},
      {"bytes after the terminator, without a checksum", load_block(L"trailing_unchecked.bin"), 0},
      {"checksum does not match", wrong_checksum, 0},
      {"checksum cut off", checked, checked_frame - 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    uint64_t span = c.span != 0 ? c.span : c.block.frame_span();
    EXPECT_DECODE_FAILURE(read_stream_and_finish(c.block, span));
  }
}
