// Layout of the attached data block that the launcher carries in its own
// read-only data:
//
//   "JUX" | one Zstandard frame | zero pad | u64 LE offset of this trailer
//
// The frame decodes to the record stream: for every file a UTF-16LE name
// (backslash separators) with a zero unit, a u64 LE size and the content;
// an empty name ends the stream. The first record is the application library.
#pragma once

#include <stdint.h>

#define ATTACHED_MAGIC "JUX"
enum { ATTACHED_MAGIC_LENGTH = 3 };
enum { ATTACHED_SIZE_FIELD_LENGTH = 8 };
enum { ATTACHED_TRAILER_LENGTH = 8 };
// The trailer's offset is padded to a multiple of this.
enum { ATTACHED_TRAILER_ALIGNMENT = 8 };
// record_name holds 1023 name units and the terminator.
enum { RECORD_NAME_CAPACITY = 1024 };

// Provided by the block object that the build links into each executable.
extern "C" const unsigned char attached_data[];
extern "C" const uint64_t attached_data_length;

// Whether block starts with the magic; the launcher passes attached_data.
bool has_attached_magic(const unsigned char* block);
