// The attached data that the packer wrote into this executable.
#pragma once

// Opens the reader over the frame that follows the magic of the linked block.
void open_attached_reader();
