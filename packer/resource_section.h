// The resource section of a launcher executable, built from its entries:
// the three-level directory (type, id, language) that the loader and the
// shell walk, the data entries and the data, in the format's own layout.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// Resource types by their numbers in the format.
const uint16_t kResourceIcon = 3;
const uint16_t kResourceIconGroup = 14;
const uint16_t kResourceVersion = 16;
const uint16_t kResourceManifest = 24;

struct ResourceEntry {
  uint16_t type = 0;
  uint16_t id = 0;
  uint16_t language = 0;
  std::string data;
};

// The section's bytes for a section loaded at section_rva; every data entry
// holds the address of its data there. Entries may come in any order.
std::string build_resource_section(std::vector<ResourceEntry> entries, uint32_t section_rva);
