// What the launcher knows of its own attached data: the block's format and
// the descriptor through which it reaches the block.
#pragma once

#include <stdint.h>

#include "attached/block_format.h"

// Filled in by the packer when it writes the executable; the descriptor
// section of the launcher image holds it.
struct attached_block_descriptor {
  const unsigned char* data;
  uint64_t length;
};
extern "C" const attached_block_descriptor attached_block;

// Whether block starts with the magic; the launcher passes attached_block.data.
bool has_attached_magic(const unsigned char* block);
