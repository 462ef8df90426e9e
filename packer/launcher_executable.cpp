#include "launcher_executable.h"

#include <errno.h>
#include <string.h>

#include "attached/block_format.h"
#include "byte_order.h"
#include "host_files.h"
#include "pe_image.h"

namespace {

// Offsets of the format's fixed structures (PE32+).
const size_t kFileHeaderSize = 20;
const size_t kSectionHeaderSize = 40;
const size_t kSectionAlignmentField = 32;  // in the optional header
const size_t kFileAlignmentField = 36;
const size_t kImageBaseField = 24;
const size_t kSizeOfInitializedDataField = 8;
const size_t kSizeOfImageField = 56;
const size_t kSizeOfHeadersField = 60;
const size_t kCheckSumField = 64;
const size_t kSubsystemField = 68;
const size_t kDirectoryCountField = 108;
const size_t kDirectoriesField = 112;
const size_t kResourceDirectory = 2;
const size_t kSecurityDirectory = 4;
const size_t kRelocationDirectory = 5;
const uint16_t kSubsystemGui = 2;
const uint16_t kSubsystemConsole = 3;
// Section characteristics of read-only initialized data: neither writable
// nor executable.
const uint32_t kReadOnlyData = 0x40000040;
const uint32_t kWritableOrExecutable = 0xA0000000;
const char kResourceSectionName[] = ".rsrc";
// A base relocation of the whole 64-bit address (IMAGE_REL_BASED_DIR64).
const unsigned kRelocationDir64 = 10;
const size_t kCopyPiece = 1 << 20;

uint64_t align_up(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

bool fits(size_t size, uint64_t offset, uint64_t length) {
  return offset <= size && length <= size - offset;
}

uint32_t directory_field(const LauncherImage& image, size_t directory) {
  return image.optional_header + kDirectoriesField + 8 * directory;
}

// Whether the image's base relocations adjust the 64-bit value at rva.
bool relocated(const LauncherImage& image, const std::vector<PeSection>& sections, uint32_t rva) {
  uint32_t table = u32(image.data + directory_field(image, kRelocationDirectory));
  uint32_t table_size = u32(image.data + directory_field(image, kRelocationDirectory) + 4);
  for (const PeSection& s : sections) {
    if (table < s.virtual_address || table - s.virtual_address >= s.raw_size) continue;
    uint64_t at = uint64_t(s.raw_offset) + (table - s.virtual_address);
    uint64_t end = at + table_size;
    if (!fits(image.size, at, table_size)) return false;
    while (at + 8 <= end) {
      uint32_t page = u32(image.data + at);
      uint32_t block_size = u32(image.data + at + 4);
      if (block_size < 8 || block_size > end - at) return false;
      for (uint64_t e = at + 8; e + 2 <= at + block_size; e += 2) {
        uint16_t entry = u16(image.data + e);
        if (entry >> 12 == kRelocationDir64 && page + (entry & 0xFFF) == rva) return true;
      }
      at += block_size;
    }
  }
  return false;
}

std::string section_header(const char* name, uint32_t virtual_size, uint32_t rva,
                           uint32_t raw_size, uint32_t raw_offset) {
  std::string header(kSectionHeaderSize, '\0');
  header.replace(0, strlen(name), name);
  put_u32(&header, 8, virtual_size);
  put_u32(&header, 12, rva);
  put_u32(&header, 16, raw_size);
  put_u32(&header, 20, raw_offset);
  put_u32(&header, 36, kReadOnlyData);
  return header;
}

bool write_bytes(FILE* out, const void* data, size_t size) {
  return size == 0 || fwrite(data, 1, size, out) == size;
}

bool write_zeros(FILE* out, uint64_t count) {
  static const char zeros[4096] = {};
  while (count > 0) {
    size_t n = count < sizeof zeros ? static_cast<size_t>(count) : sizeof zeros;
    if (!write_bytes(out, zeros, n)) return false;
    count -= n;
  }
  return true;
}

// The image checksum: the file's 16-bit little-endian words summed with
// end-around carry, the checksum field itself taken as zero, plus the
// file's length.
bool compute_checksum(FILE* out, uint64_t file_size, uint64_t checksum_offset, uint32_t* checksum) {
  if (!seek_file(out, 0)) return false;
  std::vector<unsigned char> piece(kCopyPiece);
  uint64_t sum = 0, at = 0;
  while (at < file_size) {
    size_t n = fread(piece.data(), 1, piece.size(), out);
    if (n == 0) return false;
    // Pieces are even in length, so words never straddle two of them.
    if (n % 2 != 0) piece[n++] = 0;
    for (size_t i = 0; i < n; i += 2) {
      if (at + i >= checksum_offset && at + i < checksum_offset + 4) continue;
      sum += static_cast<uint32_t>(piece[i] | piece[i + 1] << 8);
      sum = (sum & 0xFFFF) + (sum >> 16);
    }
    at += n;
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  *checksum = static_cast<uint32_t>(sum + file_size);
  return true;
}

}  // namespace

bool read_launcher_image(const unsigned char* data, size_t size, LauncherImage* image,
                         std::string* problem) {
  *image = LauncherImage();
  image->data = data;
  image->size = size;
  PeImage pe;
  if (!parse_pe_image(MappedFile{data, size}, &pe, problem)) return false;
  image->section_count = static_cast<uint16_t>(pe.sections.size());
  image->optional_header = pe.optional_header;
  image->section_table = pe.section_table;
  uint16_t optional_size = static_cast<uint16_t>(pe.section_table - pe.optional_header);
  if (!pe.is_pe32_plus || optional_size < kDirectoriesField + 16 * 8 ||
      u32(data + image->optional_header + kDirectoryCountField) < 16) {
    *problem = "no PE32+ optional header with all sixteen data directories";
    return false;
  }
  const unsigned char* optional = data + image->optional_header;
  image->file_alignment = u32(optional + kFileAlignmentField);
  image->section_alignment = u32(optional + kSectionAlignmentField);
  image->image_base = u64(optional + kImageBaseField);
  uint32_t headers_size = u32(optional + kSizeOfHeadersField);
  if (image->file_alignment == 0 || image->section_alignment < image->file_alignment) {
    *problem = "unusable alignments";
    return false;
  }
  // Two more section headers must fit before the first section's bytes.
  uint64_t table_end = image->section_table + uint64_t(image->section_count + 2) * kSectionHeaderSize;
  if (table_end > headers_size || !fits(size, 0, headers_size)) {
    *problem = "no room for two more section headers";
    return false;
  }
  if (u32(data + directory_field(*image, kResourceDirectory)) != 0 ||
      u32(data + directory_field(*image, kSecurityDirectory)) != 0) {
    *problem = "resources or a signature already";
    return false;
  }
  const PeSection* descriptor = nullptr;
  for (const PeSection& s : pe.sections) {
    uint64_t end_rva = align_up(uint64_t(s.virtual_address) + s.virtual_size, image->section_alignment);
    if (end_rva > image->end_rva) image->end_rva = static_cast<uint32_t>(end_rva);
    if (s.raw_offset + s.raw_size > image->end_offset) image->end_offset = s.raw_offset + s.raw_size;
    if (s.name == ATTACHED_DESCRIPTOR_SECTION) descriptor = &s;
  }
  if (image->end_offset != size) {
    *problem = "bytes after its last section";
    return false;
  }
  if (descriptor == nullptr || descriptor->raw_size < ATTACHED_DESCRIPTOR_LENGTH_OFFSET + 8 ||
      (descriptor->characteristics & kWritableOrExecutable) != 0) {
    *problem = "no read-only section " ATTACHED_DESCRIPTOR_SECTION " for the attached data";
    return false;
  }
  if (!relocated(*image, pe.sections, descriptor->virtual_address)) {
    *problem = "no base relocation for the attached data's address";
    return false;
  }
  image->descriptor_offset = descriptor->raw_offset;
  return true;
}

uint64_t block_room(const LauncherImage& image, uint64_t resource_bytes) {
  uint64_t block_rva = align_up(image.end_rva + align_up(resource_bytes, image.section_alignment),
                                image.section_alignment);
  uint64_t block_offset = image.end_offset + align_up(resource_bytes, image.file_alignment);
  uint64_t start = block_rva > block_offset ? block_rva : block_offset;
  return start >= kMaxExecutableBytes ? 0 : kMaxExecutableBytes - start;
}

std::string too_large_message(const std::string& out_name, const std::string& what) {
  return "cannot write '" + out_name + "': the executable would be larger than " +
         std::to_string(kMaxExecutableBytes) + " bytes (2 GiB), the most the Windows loader takes: " +
         what;
}

bool write_launcher_executable(FILE* out, const std::string& out_name, const LauncherImage& image,
                               const ExecutableLayout& layout,
                               const std::vector<ResourceEntry>& resources,
                               const BlockProducer& block, std::string* error) {
  auto failed = [&](int code) {
    *error = "cannot write '" + out_name + "': " + strerror(code);
    return false;
  };
  // Resources first, at an address that does not depend on the block.
  uint32_t resource_rva = image.end_rva;
  std::string resource_section = build_resource_section(resources, resource_rva);
  uint64_t resource_raw = align_up(resource_section.size(), image.file_alignment);
  uint64_t block_rva = align_up(uint64_t(resource_rva) + resource_section.size(), image.section_alignment);
  uint64_t block_offset = image.end_offset + resource_raw;

  // The image as it goes into the file, its headers and descriptor patched
  // once the block's length is known.
  std::string image_bytes(reinterpret_cast<const char*>(image.data), image.end_offset);
  if (!write_bytes(out, image_bytes.data(), image_bytes.size()) ||
      !write_bytes(out, resource_section.data(), resource_section.size()) ||
      !write_zeros(out, resource_raw - resource_section.size()))
    return failed(errno);
  uint64_t length = 0;
  if (!block(out, block_room(image, resource_section.size()), &length, error)) return false;
  uint64_t block_raw = align_up(length, image.file_alignment);
  if (!write_zeros(out, block_raw - length)) return failed(errno);
  uint64_t file_size = block_offset + block_raw;
  uint64_t image_size = align_up(block_rva + length, image.section_alignment);

  // The header fields that depend on the two new sections.
  size_t optional = image.optional_header;
  size_t table_end = image.section_table + image.section_count * kSectionHeaderSize;
  image_bytes.replace(table_end, kSectionHeaderSize,
                  section_header(kResourceSectionName, static_cast<uint32_t>(resource_section.size()),
                                 resource_rva, static_cast<uint32_t>(resource_raw),
                                 image.end_offset));
  image_bytes.replace(table_end + kSectionHeaderSize, kSectionHeaderSize,
                  section_header(ATTACHED_BLOCK_SECTION, static_cast<uint32_t>(length),
                                 static_cast<uint32_t>(block_rva), static_cast<uint32_t>(block_raw),
                                 static_cast<uint32_t>(block_offset)));
  size_t file_header = image.optional_header - kFileHeaderSize;
  put_u16(&image_bytes, file_header + 2, static_cast<uint16_t>(image.section_count + 2));
  put_u32(&image_bytes, optional + kSizeOfInitializedDataField,
          static_cast<uint32_t>(u32(image.data + optional + kSizeOfInitializedDataField) +
                                resource_raw + block_raw));
  put_u32(&image_bytes, optional + kSizeOfImageField, static_cast<uint32_t>(image_size));
  put_u16(&image_bytes, optional + kSubsystemField, layout.console ? kSubsystemConsole : kSubsystemGui);
  put_u32(&image_bytes, directory_field(image, kResourceDirectory), resource_rva);
  put_u32(&image_bytes, directory_field(image, kResourceDirectory) + 4,
          static_cast<uint32_t>(resource_section.size()));
  put_u64(&image_bytes, image.descriptor_offset, image.image_base + block_rva);
  put_u64(&image_bytes, image.descriptor_offset + ATTACHED_DESCRIPTOR_LENGTH_OFFSET, length);

  uint32_t checksum = 0;
  if (!seek_file(out, 0) || !write_bytes(out, image_bytes.data(), image_bytes.size()) || fflush(out) != 0 ||
      !compute_checksum(out, file_size, optional + kCheckSumField, &checksum))
    return failed(errno);
  std::string field(4, '\0');
  put_u32(&field, 0, checksum);
  if (!seek_file(out, optional + kCheckSumField) || !write_bytes(out, field.data(), 4) ||
      fflush(out) != 0)
    return failed(errno);
  return true;
}
