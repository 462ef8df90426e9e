// The one streaming reader over the attached data's Zstandard frame. It
// decodes on demand into a fixed window and hands out exactly the bytes asked
// for; every failure ends the process with the decode message and status 2.
#pragma once

#include <stdint.h>

// The window is one maximal Zstandard block (ZSTD_BLOCKSIZE_MAX), so a
// decoder call normally fills it whole and no decoded byte is copied twice.
enum { ATTACHED_WINDOW_SIZE = 131072 };

// Opens the reader over a span that starts with the frame; the launcher
// passes its linked block (linked_block.h), tests a block of their own.
void open_attached_reader_over(const unsigned char* span, uint64_t size);
void read_attached_bytes(void* destination, uint64_t count);
// Called after the terminating empty name: the frame must end right there.
// Decodes what is left of it and ends the process with the decode message
// when a decoded byte follows the terminator, when the frame is cut short,
// or when its checksum does not match. Costs no decoder call when the call
// that delivered the terminator already ended the frame.
void finish_attached_frame();
void close_attached_reader();
