// Writes a launcher executable: the prebuilt launcher image that the packer
// carries, unchanged, followed by two sections it appends, the resources
// and the attached data block, with every header field that depends on
// them. Nothing the image's code refers to moves: the code reaches the
// block through the image's descriptor section, which gets the block's
// address (adjusted by the loader through the image's own base relocation
// for it) and length.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <functional>
#include <string>
#include <vector>

#include "resource_section.h"

// The largest executable the packer writes, file and loaded image alike.
// The image format counts in 32 bits, and the Windows loader takes images
// of at most 2 GiB only: RVAs are 31-bit in places, and 64-bit code
// reaches its static data with signed 32-bit displacements.
const uint64_t kMaxExecutableBytes = uint64_t(1) << 31;

struct LauncherImage {
  const unsigned char* data = nullptr;
  size_t size = 0;
  uint32_t optional_header = 0;  // file offset
  uint32_t section_table = 0;    // file offset
  uint16_t section_count = 0;
  uint32_t file_alignment = 0;
  uint32_t section_alignment = 0;
  uint64_t image_base = 0;
  uint32_t descriptor_offset = 0;  // file offset of the descriptor
  uint32_t end_rva = 0;            // the first free address after every section
  uint32_t end_offset = 0;         // the end of the last section's stored bytes
};

// Checks that data is a launcher image this packer can complete; false with
// the reason in *problem.
bool read_launcher_image(const unsigned char* data, size_t size, LauncherImage* image,
                         std::string* problem);

// Writes the attached data block to out at its current position, no longer
// than room bytes, and sets *length; false with a one-line message.
using BlockProducer =
    std::function<bool(FILE* out, uint64_t room, uint64_t* length, std::string* error)>;

struct ExecutableLayout {
  bool console = false;  // the console subsystem instead of the GUI one
};

// Writes the whole executable to out, a fresh file open for writing and
// reading, from its start. On failure returns false with a one-line message
// naming out_name in *error.
bool write_launcher_executable(FILE* out, const std::string& out_name, const LauncherImage& image,
                               const ExecutableLayout& layout,
                               const std::vector<ResourceEntry>& resources,
                               const BlockProducer& block, std::string* error);

// The room an executable from image leaves for a block next to resources
// of resource_bytes.
uint64_t block_room(const LauncherImage& image, uint64_t resource_bytes);

// "cannot write 'OUT': the executable would be larger than ... bytes ...: "
// followed by what: the one line for a block that does not fit.
std::string too_large_message(const std::string& out_name, const std::string& what);
