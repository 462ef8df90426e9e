#include "attached/linked_block.h"

#include "attached/attached_format.h"
#include "attached/attached_reader.h"

void open_attached_reader() {
  // The span ends with the trailer: nothing after the block is ever handed
  // to the decoder.
  open_attached_reader_over(attached_block.data + ATTACHED_MAGIC_LENGTH,
                            attached_block.length - ATTACHED_MAGIC_LENGTH);
}
