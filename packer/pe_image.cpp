#include "pe_image.h"

#include <string.h>

#include <algorithm>

#include "byte_order.h"

namespace {

// Offsets and sizes of the format's fixed structures.
const size_t kDosHeaderSize = 64;
const size_t kNewHeaderOffsetField = 0x3C;
const size_t kFileHeaderSize = 20;
const size_t kSectionHeaderSize = 40;
const uint16_t kOptionalMagicPe32Plus = 0x20B;
const uint16_t kOptionalMagicPe32 = 0x10B;
const uint16_t kFileIsDll = 0x2000;
const size_t kPe32PlusDirectoriesOffset = 112;  // in the optional header
const size_t kPe32DirectoriesOffset = 96;
const size_t kDirectoryEntrySize = 8;
// Indexes in the data directory.
const uint32_t kExportDirectory = 0;
const uint32_t kImportDirectory = 1;
const uint32_t kDelayImportDirectory = 13;
// An import descriptor names its DLL at offset 12, a delay-load one at 4;
// a descriptor of zeros ends each table.
const size_t kImportDescriptorSize = 20;
const size_t kImportNameOffset = 12;
const size_t kDelayDescriptorSize = 32;
const size_t kDelayNameOffset = 4;
// Longer than any file name Windows can load.
const size_t kMaxDllNameLength = 260;
const size_t kExportNameCountOffset = 24;       // in the export directory
const size_t kExportNamesOffset = 32;
const size_t kExportDirectorySize = 40;


bool fits(const PeImage& image, uint64_t offset, uint64_t length) {
  return offset <= image.size && length <= image.size - offset;
}

// The file offset of rva, when it lies in a section's stored bytes.
bool rva_to_offset(const PeImage& image, uint32_t rva, uint64_t* offset) {
  for (const PeSection& section : image.sections) {
    if (rva >= section.virtual_address && rva - section.virtual_address < section.raw_size) {
      *offset = static_cast<uint64_t>(section.raw_offset) + (rva - section.virtual_address);
      return fits(image, *offset, 1);
    }
  }
  return false;
}

}  // namespace

bool parse_pe_image(const MappedFile& file, PeImage* image, std::string* problem) {
  *image = PeImage();
  image->data = file.data;
  image->size = file.size;
  if (file.size < kDosHeaderSize || memcmp(file.data, "MZ", 2) != 0) {
    *problem = "is not a Windows executable image (no \"MZ\" header)";
    return false;
  }
  uint32_t pe = u32(file.data + kNewHeaderOffsetField);
  if (!fits(*image, pe, 4 + kFileHeaderSize) || memcmp(file.data + pe, "PE\0\0", 4) != 0) {
    *problem = "is not a Windows executable image (no \"PE\" header)";
    return false;
  }
  const unsigned char* header = file.data + pe + 4;
  image->machine = u16(header);
  uint16_t section_count = u16(header + 2);
  uint16_t optional_size = u16(header + 16);
  image->is_dll = (u16(header + 18) & kFileIsDll) != 0;
  uint64_t optional = pe + 4 + kFileHeaderSize;
  uint64_t section_table = optional + optional_size;
  if (!fits(*image, optional, optional_size) ||
      !fits(*image, section_table, uint64_t(section_count) * kSectionHeaderSize)) {
    *problem = "is a damaged Windows image (headers cut short)";
    return false;
  }
  image->optional_header = static_cast<uint32_t>(optional);
  image->section_table = static_cast<uint32_t>(section_table);
  uint16_t magic = optional_size >= 2 ? u16(file.data + optional) : 0;
  image->is_pe32_plus = magic == kOptionalMagicPe32Plus;
  // 32-bit images stay readable for their imports: a payload may carry them.
  size_t directories = image->is_pe32_plus ? kPe32PlusDirectoriesOffset
                       : magic == kOptionalMagicPe32 ? kPe32DirectoriesOffset
                                                     : 0;
  if (directories != 0 && optional_size >= directories) {
    uint32_t directory_count = u32(file.data + optional + directories - 4);
    auto entry_rva = [&](uint32_t index, uint32_t* size) -> uint32_t {
      uint64_t at = directories + uint64_t(index) * kDirectoryEntrySize;
      if (index >= directory_count || at + kDirectoryEntrySize > optional_size) return 0;
      if (size != nullptr) *size = u32(file.data + optional + at + 4);
      return u32(file.data + optional + at);
    };
    image->export_rva = entry_rva(kExportDirectory, &image->export_size);
    image->import_rva = entry_rva(kImportDirectory, nullptr);
    image->delay_import_rva = entry_rva(kDelayImportDirectory, nullptr);
  }
  for (uint16_t i = 0; i < section_count; ++i) {
    const unsigned char* s = file.data + section_table + i * kSectionHeaderSize;
    PeSection section;
    section.name.assign(reinterpret_cast<const char*>(s), strnlen(reinterpret_cast<const char*>(s), 8));
    section.virtual_size = u32(s + 8);
    section.virtual_address = u32(s + 12);
    section.raw_size = u32(s + 16);
    section.raw_offset = u32(s + 20);
    section.characteristics = u32(s + 36);
    if (!fits(*image, section.raw_offset, section.raw_size)) {
      *problem = "is a damaged Windows image (section " + section.name + " runs past the end)";
      return false;
    }
    image->sections.push_back(section);
  }
  return true;
}

const PeSection* find_section(const PeImage& image, const char* name) {
  for (const PeSection& section : image.sections)
    if (section.name == name) return &section;
  return nullptr;
}

bool exports_symbol(const PeImage& image, const char* symbol) {
  uint64_t directory;
  if (image.export_rva == 0 || !rva_to_offset(image, image.export_rva, &directory) ||
      !fits(image, directory, kExportDirectorySize))
    return false;
  uint32_t count = u32(image.data + directory + kExportNameCountOffset);
  uint64_t names;
  if (count == 0 || !rva_to_offset(image, u32(image.data + directory + kExportNamesOffset), &names) ||
      !fits(image, names, uint64_t(count) * 4))
    return false;
  size_t length = strlen(symbol);
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t name;
    if (!rva_to_offset(image, u32(image.data + names + 4 * i), &name)) continue;
    if (fits(image, name, length + 1) && memcmp(image.data + name, symbol, length + 1) == 0)
      return true;
  }
  return false;
}

namespace {

// Appends the names of one table of descriptors, up to its zero descriptor
// or the end of the stored bytes.
void append_dll_names(const PeImage& image, uint32_t table_rva, size_t descriptor_size,
                      size_t name_offset, std::vector<std::string>* names) {
  uint64_t table;
  if (table_rva == 0 || !rva_to_offset(image, table_rva, &table)) return;
  static const unsigned char kZeros[kDelayDescriptorSize] = {};
  for (uint64_t at = table; fits(image, at, descriptor_size); at += descriptor_size) {
    if (memcmp(image.data + at, kZeros, descriptor_size) == 0) return;
    uint64_t name;
    if (!rva_to_offset(image, u32(image.data + at + name_offset), &name)) continue;
    size_t room = static_cast<size_t>(std::min<uint64_t>(image.size - name, kMaxDllNameLength));
    const void* end = memchr(image.data + name, 0, room);
    if (end == nullptr || end == image.data + name) continue;
    names->emplace_back(reinterpret_cast<const char*>(image.data + name),
                        static_cast<const unsigned char*>(end) - (image.data + name));
  }
}

}  // namespace

std::vector<std::string> imported_dll_names(const PeImage& image) {
  std::vector<std::string> names;
  append_dll_names(image, image.import_rva, kImportDescriptorSize, kImportNameOffset, &names);
  append_dll_names(image, image.delay_import_rva, kDelayDescriptorSize, kDelayNameOffset, &names);
  return names;
}
