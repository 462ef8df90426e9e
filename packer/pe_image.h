// Just enough of the Windows executable format to check an application
// library, to find the DLLs that a file of the payload needs and to find
// the attached data in a built launcher. Every offset
// read from the file is checked against its size before use.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "mapped_file.h"

const uint16_t kMachineAmd64 = 0x8664;

struct PeSection {
  std::string name;
  uint32_t virtual_address = 0;
  uint32_t virtual_size = 0;
  uint32_t raw_offset = 0;
  uint32_t raw_size = 0;
  uint32_t characteristics = 0;
};

struct PeImage {
  const unsigned char* data = nullptr;
  size_t size = 0;
  uint16_t machine = 0;
  bool is_dll = false;
  bool is_pe32_plus = false;
  uint32_t optional_header = 0;  // file offsets
  uint32_t section_table = 0;
  std::vector<PeSection> sections;
  uint32_t export_rva = 0;
  uint32_t export_size = 0;
  uint32_t import_rva = 0;        // load-time imports
  uint32_t delay_import_rva = 0;  // imports loaded at their first call
};

// False with the reason in *problem when file holds no Windows image.
bool parse_pe_image(const MappedFile& file, PeImage* image, std::string* problem);

// The first section of that name, or null.
const PeSection* find_section(const PeImage& image, const char* name);

// Whether the image's export table names symbol.
bool exports_symbol(const PeImage& image, const char* symbol);

// The names of the DLLs that the image imports, at load time and then
// delay-loaded, in the order of its tables, as the image spells them. An
// entry whose name lies outside the file is passed over.
std::vector<std::string> imported_dll_names(const PeImage& image);
