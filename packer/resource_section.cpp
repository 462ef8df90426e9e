#include "resource_section.h"

#include <algorithm>

#include "byte_order.h"

namespace {

// IMAGE_RESOURCE_DIRECTORY and its entries, IMAGE_RESOURCE_DATA_ENTRY.
const size_t kDirectoryHeaderSize = 16;
const size_t kDirectoryEntrySize = 8;
const size_t kDataEntrySize = 16;
const uint32_t kSubdirectoryFlag = 0x80000000;
// Resource data is commonly aligned so; the loader hands out pointers to it.
const size_t kDataAlignment = 8;

size_t directory_size(size_t entries) { return kDirectoryHeaderSize + entries * kDirectoryEntrySize; }

void put_directory_header(std::string* out, size_t at, size_t id_entries) {
  // Characteristics, time stamp and version stay zero: same inputs, same bytes.
  put_u16(out, at + 14, static_cast<uint16_t>(id_entries));
}

}  // namespace

std::string build_resource_section(std::vector<ResourceEntry> entries, uint32_t section_rva) {
  std::sort(entries.begin(), entries.end(), [](const ResourceEntry& a, const ResourceEntry& b) {
    if (a.type != b.type) return a.type < b.type;
    if (a.id != b.id) return a.id < b.id;
    return a.language < b.language;
  });
  // Groups of entries: one type directory per type, one language directory
  // per (type, id).
  std::vector<size_t> type_starts, name_starts;
  for (size_t i = 0; i < entries.size(); ++i) {
    bool new_type = i == 0 || entries[i].type != entries[i - 1].type;
    if (new_type) type_starts.push_back(i);
    if (new_type || entries[i].id != entries[i - 1].id) name_starts.push_back(i);
  }
  type_starts.push_back(entries.size());
  name_starts.push_back(entries.size());
  size_t types = type_starts.size() - 1;
  size_t names = name_starts.size() - 1;

  // Layout: root, the type directories, the language directories, the data
  // entries, then the data.
  size_t offset = directory_size(types);
  std::vector<size_t> type_directory(types), name_directory(names);
  size_t name_index = 0;
  for (size_t t = 0; t < types; ++t) {
    type_directory[t] = offset;
    size_t ids = 0;
    while (name_index < names && name_starts[name_index] < type_starts[t + 1]) ++ids, ++name_index;
    offset += directory_size(ids);
  }
  for (size_t n = 0; n < names; ++n) {
    name_directory[n] = offset;
    offset += directory_size(name_starts[n + 1] - name_starts[n]);
  }
  size_t data_entries = offset;
  offset += entries.size() * kDataEntrySize;
  std::vector<size_t> data_at(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    offset = (offset + kDataAlignment - 1) / kDataAlignment * kDataAlignment;
    data_at[i] = offset;
    offset += entries[i].data.size();
  }

  std::string out(offset, '\0');
  put_directory_header(&out, 0, types);
  name_index = 0;
  for (size_t t = 0; t < types; ++t) {
    size_t root_entry = kDirectoryHeaderSize + t * kDirectoryEntrySize;
    put_u32(&out, root_entry, entries[type_starts[t]].type);
    put_u32(&out, root_entry + 4, static_cast<uint32_t>(type_directory[t]) | kSubdirectoryFlag);
    size_t ids = 0;
    for (size_t n = name_index; n < names && name_starts[n] < type_starts[t + 1]; ++n) {
      size_t entry = type_directory[t] + kDirectoryHeaderSize + ids * kDirectoryEntrySize;
      put_u32(&out, entry, entries[name_starts[n]].id);
      put_u32(&out, entry + 4, static_cast<uint32_t>(name_directory[n]) | kSubdirectoryFlag);
      ++ids;
    }
    put_directory_header(&out, type_directory[t], ids);
    name_index += ids;
  }
  for (size_t n = 0; n < names; ++n) {
    size_t languages = name_starts[n + 1] - name_starts[n];
    put_directory_header(&out, name_directory[n], languages);
    for (size_t l = 0; l < languages; ++l) {
      size_t i = name_starts[n] + l;
      size_t entry = name_directory[n] + kDirectoryHeaderSize + l * kDirectoryEntrySize;
      put_u32(&out, entry, entries[i].language);
      put_u32(&out, entry + 4, static_cast<uint32_t>(data_entries + i * kDataEntrySize));
    }
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    size_t entry = data_entries + i * kDataEntrySize;
    put_u32(&out, entry, section_rva + static_cast<uint32_t>(data_at[i]));
    put_u32(&out, entry + 4, static_cast<uint32_t>(entries[i].data.size()));
    out.replace(data_at[i], entries[i].data.size(), entries[i].data);
  }
  return out;
}
