#include "dependencies.h"

#include <set>

#include "mapped_file.h"
#include "pe_image.h"
#include "record_names.h"
#include "utf16.h"
#include "windows_dlls.h"

namespace {

// The name that a DLL is found by, up to letter case: its file name.
std::u16string folded_file_name(const std::u16string& name) {
  size_t separator = name.find_last_of(u'\\');
  return fold_letter_case(separator == std::u16string::npos ? name : name.substr(separator + 1));
}

// An imported name as the loader reads it: without an extension, ".dll"
// is meant. Names that are not UTF-8 are taken byte for byte.
std::u16string folded_import_name(std::string name) {
  if (name.find('.') == std::string::npos) name += ".dll";
  std::u16string wide;
  if (!utf8_to_utf16(name, &wide)) wide.assign(name.begin(), name.end());
  return fold_letter_case(wide);
}

// The DLL names that path imports; none when it is no Windows image.
std::vector<std::string> imports_of(const std::string& path) {
  MappedFile file;
  std::string ignored;
  if (!map_file(path, &file, &ignored)) return {};
  PeImage image;
  std::vector<std::string> names;
  if (parse_pe_image(file, &image, &ignored)) names = imported_dll_names(image);
  unmap_file(&file);
  return names;
}

}  // namespace

std::vector<std::string> find_missing_dependencies(const std::vector<BlockRecord>& records) {
  std::set<std::u16string> carried;
  for (const BlockRecord& record : records) carried.insert(folded_file_name(record.name));
  std::vector<std::string> missing;
  for (const BlockRecord& record : records) {
    std::set<std::u16string> named;  // a DLL imported twice gets one line
    for (const std::string& dll : imports_of(record.path)) {
      std::u16string folded = folded_import_name(dll);
      if (carried.count(folded) != 0 || is_windows_dll(dll) || !named.insert(folded).second)
        continue;
      missing.push_back("'" + record.path + "' imports '" + dll +
                        "', which is neither in the payload nor part of Windows");
    }
  }
  return missing;
}
