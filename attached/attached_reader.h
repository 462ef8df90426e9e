// The one streaming reader over the attached data's Zstandard frame. It
// decodes on demand into a fixed window and hands out exactly the bytes asked
// for; every failure ends the process with the decode message and status 2.
#pragma once

#include <stdint.h>

// The window is one maximal Zstandard block (ZSTD_BLOCKSIZE_MAX), so a
// decoder call normally fills it whole and no decoded byte is copied twice.
enum { ATTACHED_WINDOW_SIZE = 131072 };

// Opens the reader over the frame that follows the magic of the linked block.
void open_attached_reader();
// Opens the reader over another span: the frame starts at span[0].
void open_attached_reader_over(const unsigned char* span, uint64_t size);
void read_attached_bytes(void* destination, uint64_t count);
void close_attached_reader();

// Counts decoder calls since the process started, for tests.
uint64_t attached_decoder_calls();
