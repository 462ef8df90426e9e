#include "launcher_resources.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "byte_order.h"
#include "embedded_files.h"
#include "utf16.h"

const char* const kExecutionLevels[3] = {"requireAdministrator", "highestAvailable", "asInvoker"};
const char* const kVersionKeys[8] = {"FileVersion",     "ProductVersion",  "ProductName",
                                     "CompanyName",     "FileDescription", "LegalCopyright",
                                     "OriginalFilename", "InternalName"};

namespace {

// Every resource has number 1 and the neutral language, as the launcher's
// resources always had; icon images are numbered from 1 in file order.
const uint16_t kResourceId = 1;
const uint16_t kNeutralLanguage = 0;
const char kLevelAttribute[] = "level=\"requireAdministrator\"";
// VS_FIXEDFILEINFO: its signature and structure version, and what the
// file is: a 32-bit-API Windows program (VOS_NT_WINDOWS32, VFT_APP).
const uint32_t kFixedSignature = 0xFEEF04BD;
const uint32_t kFixedStructVersion = 0x00010000;
const uint32_t kFileFlagsMask = 0x3F;
const uint32_t kFileOs = 0x00040004;
const uint32_t kFileTypeApp = 1;
const size_t kFixedInfoSize = 52;
// The string table's language and code page, "U.S. English, Unicode", and
// the same pair in the translation list.
const char kStringTableKey[] = "040904B0";
const uint32_t kTranslation = 0x04B00409;
const uint16_t kBinaryValue = 0;
const uint16_t kTextValue = 1;
const size_t kVersionFieldMax = 65535;
// The whole resource states its length in 16 bits: eight values of this
// many UTF-16 units, with their keys and headers, stay well below 64 KiB.
const size_t kMaxVersionValueUnits = 1024;

bool parse_version_numbers(const std::string& text, uint16_t parts[4]) {
  memset(parts, 0, 4 * sizeof parts[0]);
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    size_t dot = text.find('.', start);
    std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (part.empty() || part.size() > 5 || part.find_first_not_of("0123456789") != std::string::npos)
      return false;
    unsigned long value = strtoul(part.c_str(), nullptr, 10);
    if (value > kVersionFieldMax) return false;
    parts[i] = static_cast<uint16_t>(value);
    if (dot == std::string::npos) return true;
    start = dot + 1;
  }
  return false;  // a fifth part
}

void pad_to_4(std::string* out) {
  while (out->size() % 4 != 0) out->push_back('\0');
}

void append_text(std::string* out, const std::u16string& text) {
  for (char16_t unit : text) append_u16(out, unit);
  append_u16(out, 0);
}

// One node of the version tree: wLength, wValueLength, wType, the key,
// padding, the value, padding, the children. wValueLength counts bytes for
// binary values and units for text.
std::string version_node(const std::string& key, uint16_t type, const std::string& value,
                         uint16_t value_length, const std::string& children) {
  std::string node;
  append_u16(&node, 0);
  append_u16(&node, value_length);
  append_u16(&node, type);
  std::u16string wide_key(key.begin(), key.end());
  append_text(&node, wide_key);
  pad_to_4(&node);
  node += value;
  if (!children.empty()) {
    pad_to_4(&node);
    node += children;
  }
  put_u16(&node, 0, static_cast<uint16_t>(node.size()));
  return node;
}

std::string fixed_file_info(const ResourceOptions& options) {
  uint16_t file[4] = {0, 0, 0, 0}, product[4] = {0, 0, 0, 0};
  for (const auto& entry : options.version_info) {
    if (entry.first == "FileVersion") parse_version_numbers(entry.second, file);
    if (entry.first == "ProductVersion") parse_version_numbers(entry.second, product);
  }
  std::string info;
  for (uint32_t value : {kFixedSignature, kFixedStructVersion,
                         uint32_t(file[0]) << 16 | file[1], uint32_t(file[2]) << 16 | file[3],
                         uint32_t(product[0]) << 16 | product[1], uint32_t(product[2]) << 16 | product[3],
                         kFileFlagsMask, uint32_t(0), kFileOs, kFileTypeApp, uint32_t(0), uint32_t(0),
                         uint32_t(0)})
    append_u32(&info, value);
  return info;
}

std::string version_resource(const ResourceOptions& options) {
  std::string strings;
  for (const auto& entry : options.version_info) {
    std::u16string value;
    utf8_to_utf16(entry.second, &value);
    std::string text;
    append_text(&text, value);
    pad_to_4(&strings);
    strings += version_node(entry.first, kTextValue, text, static_cast<uint16_t>(value.size() + 1), "");
  }
  std::string table = version_node(kStringTableKey, kTextValue, "", 0, strings);
  std::string string_info = version_node("StringFileInfo", kTextValue, "", 0, table);
  std::string translation;
  append_u32(&translation, kTranslation);
  std::string var = version_node("Translation", kBinaryValue, translation, 4, "");
  std::string var_info = version_node("VarFileInfo", kTextValue, "", 0, var);
  std::string children = string_info;
  pad_to_4(&children);
  children += var_info;
  return version_node("VS_VERSION_INFO", kBinaryValue, fixed_file_info(options), kFixedInfoSize,
                      children);
}

std::string manifest(const std::string& level) {
  std::string text(reinterpret_cast<const char*>(embedded_manifest.data), embedded_manifest.size);
  size_t at = text.find(kLevelAttribute);
  if (at != std::string::npos)
    text.replace(at, strlen(kLevelAttribute), "level=\"" + level + "\"");
  return text;
}

}  // namespace

bool parse_uac_level(const std::string& text, std::string* level, std::string* error) {
  for (const char* known : kExecutionLevels) {
    if (text == known) {
      *level = text;
      return true;
    }
  }
  *error = "takes requireAdministrator, highestAvailable or asInvoker, not '" + text + "'";
  return false;
}

bool parse_version_entry(const std::string& text, std::pair<std::string, std::string>* entry,
                         std::string* error) {
  size_t equals = text.find('=');
  std::string key = text.substr(0, equals);
  bool known = false;
  for (const char* name : kVersionKeys) known = known || key == name;
  if (equals == std::string::npos || !known) {
    *error = "takes KEY=VALUE with KEY one of FileVersion, ProductVersion, "
             "ProductName, CompanyName, FileDescription, LegalCopyright, OriginalFilename, "
             "InternalName; not '" + text + "'";
    return false;
  }
  std::string value = text.substr(equals + 1);
  std::u16string wide;
  if (!utf8_to_utf16(value, &wide)) {
    *error = "the value of " + key + " is not UTF-8";
    return false;
  }
  if (wide.size() > kMaxVersionValueUnits) {
    *error = "the value of " + key + " is longer than " +
             std::to_string(kMaxVersionValueUnits) + " characters";
    return false;
  }
  uint16_t parts[4];
  if ((key == "FileVersion" || key == "ProductVersion") && !parse_version_numbers(value, parts)) {
    *error = key + " takes one to four numbers from 0 to 65535 separated "
             "by dots, like 1.2.3.4; not '" + value + "'";
    return false;
  }
  *entry = {key, value};
  return true;
}

bool make_launcher_resources(const ResourceOptions& options, std::vector<ResourceEntry>* entries,
                             std::string* error) {
  std::vector<IconImage> images;
  if (options.icon.empty()) {
    MappedFile own = {embedded_icon.data, embedded_icon.size};
    std::string problem;
    if (!parse_icon(own, &images, &problem)) {
      *error = "the packer's own icon is damaged: " + problem;
      return false;
    }
  } else if (!read_icon_file(options.icon, &images, error)) {
    return false;
  }
  entries->clear();
  // GRPICONDIR, then for each image its ICONDIRENTRY with the image's
  // resource number in place of its file offset: 14 bytes.
  std::string group;
  append_u16(&group, 0);
  append_u16(&group, 1);
  append_u16(&group, static_cast<uint16_t>(images.size()));
  for (size_t i = 0; i < images.size(); ++i) {
    uint16_t id = static_cast<uint16_t>(i + 1);
    group += images[i].directory_entry.substr(0, 12);
    append_u16(&group, id);
    entries->push_back({kResourceIcon, id, kNeutralLanguage, images[i].data});
  }
  entries->push_back({kResourceIconGroup, kResourceId, kNeutralLanguage, group});
  entries->push_back({kResourceManifest, kResourceId, kNeutralLanguage, manifest(options.execution_level)});
  if (!options.version_info.empty())
    entries->push_back({kResourceVersion, kResourceId, kNeutralLanguage, version_resource(options)});
  return true;
}
