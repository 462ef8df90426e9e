// Little-endian numbers in the file formats the packer reads and writes.
#pragma once

#include <stdint.h>

#include <string>

inline uint16_t u16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t u32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t u64(const unsigned char* p) {
  return static_cast<uint64_t>(u32(p)) | static_cast<uint64_t>(u32(p + 4)) << 32;
}

// Overwrite the bytes at `at` of out, which must hold them already.
inline void put_u16(std::string* out, size_t at, uint16_t value) {
  (*out)[at] = static_cast<char>(value);
  (*out)[at + 1] = static_cast<char>(value >> 8);
}
inline void put_u32(std::string* out, size_t at, uint32_t value) {
  put_u16(out, at, static_cast<uint16_t>(value));
  put_u16(out, at + 2, static_cast<uint16_t>(value >> 16));
}
inline void put_u64(std::string* out, size_t at, uint64_t value) {
  put_u32(out, at, static_cast<uint32_t>(value));
  put_u32(out, at + 4, static_cast<uint32_t>(value >> 32));
}

// Append to out.
inline void append_u16(std::string* out, uint16_t value) {
  out->append(2, '\0');
  put_u16(out, out->size() - 2, value);
}
inline void append_u32(std::string* out, uint32_t value) {
  out->append(4, '\0');
  put_u32(out, out->size() - 4, value);
}
