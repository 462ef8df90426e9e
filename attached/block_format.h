// The attached data block, defined once for the launcher that reads it and
// the packer that writes it (plain constants: both a Windows and a host
// compiler include this file).
//
//   "JUX" | one Zstandard frame | zero pad | u64 LE offset of this trailer
//
// The frame decodes to the record stream: for every file a UTF-16LE name
// (backslash separators) with a zero unit, a u64 LE size and the content;
// an empty name ends the stream. The first record is the application library.
//
// In an executable the block lies in a read-only section of its own after
// every other section; the launcher reaches it through a small descriptor
// (its address and its length L) that the packer fills in.
#pragma once

#define ATTACHED_MAGIC "JUX"
enum { ATTACHED_MAGIC_LENGTH = 3 };
enum { ATTACHED_SIZE_FIELD_LENGTH = 8 };
enum { ATTACHED_TRAILER_LENGTH = 8 };
// The trailer's offset is padded to a multiple of this.
enum { ATTACHED_TRAILER_ALIGNMENT = 8 };
// record_name holds 1023 name units and the terminator.
enum { RECORD_NAME_CAPACITY = 1024 };
enum { ATTACHED_MAX_NAME_UNITS = RECORD_NAME_CAPACITY - 1 };
// The launcher's decoder runs at the library's defaults, which refuse frames
// whose window is above 2^27 bytes (ZSTD_WINDOWLOG_LIMIT_DEFAULT).
enum { ATTACHED_MAX_WINDOW_LOG = 27 };

// The section that holds the block, and the one that holds the descriptor:
// a pointer to the block's first byte, then L as an unsigned 64-bit number.
#define ATTACHED_BLOCK_SECTION ".attach"
#define ATTACHED_DESCRIPTOR_SECTION ".attdesc"
enum { ATTACHED_DESCRIPTOR_LENGTH_OFFSET = 8 };
