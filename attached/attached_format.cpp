#include "attached/attached_format.h"

#include <string.h>

bool has_attached_magic(const unsigned char* block) {
  return memcmp(block, ATTACHED_MAGIC, ATTACHED_MAGIC_LENGTH) == 0;
}
