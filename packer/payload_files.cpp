#include "payload_files.h"

#include <errno.h>
#include <string.h>

#include <algorithm>

#include "host_files.h"
#include "mapped_file.h"
#include "pe_image.h"
#include "record_names.h"
#include "utf16.h"

namespace {

std::string quoted(const std::string& path) { return "'" + path + "'"; }

// Windows takes either slash as a separator.
#ifdef _WIN32
const char kSeparators[] = "/\\";
#else
const char kSeparators[] = "/";
#endif

std::string base_name(const std::string& path) {
  size_t slash = path.find_last_of(kSeparators);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool check_readable(const std::string& path, std::string* error) {
  FILE* file = open_file(path, "rb");
  if (file == nullptr) {
    *error = "cannot read " + quoted(path) + ": " + strerror(errno);
    return false;
  }
  fclose(file);
  return true;
}

struct Walk {
  std::string root;
  FileIdentity skip_output;
  uint64_t skip_output_size = 0;
  FileIdentity library;
  uint64_t library_size = 0;
  std::string library_name;
  std::vector<BlockRecord>* records;
  std::vector<std::string> host_paths;  // beside records, for messages
  std::vector<FileIdentity> open_directories;  // to see link loops
  std::string* error;

  // Sizes first: telling a file's identity may cost an open on Windows.
  bool is_file(const std::string& path, uint64_t size, const FileIdentity& id, uint64_t id_size) {
    return id.known && size == id_size && file_identity(path) == id;
  }

  bool add(const std::string& relative, const std::string& path) {
    BlockRecord record;
    std::string problem;
    if (!make_record_name(relative, &record.name, &problem)) {
      std::string shown = relative;
      std::replace(shown.begin(), shown.end(), '/', '\\');
      *error = quoted(path) + ": the name '" + shown + "' " + problem;
      return false;
    }
    if (!check_readable(path, error)) return false;
    record.path = path;
    records->push_back(record);
    host_paths.push_back(path);
    return true;
  }

  bool walk(const std::string& relative) {
    std::string directory = relative.empty() ? root : root + "/" + relative;
    std::vector<std::string> names;
    if (!read_directory(directory, &names)) {
      *error = "cannot read the directory " + quoted(directory) + ": " + strerror(errno);
      return false;
    }
    std::sort(names.begin(), names.end());

    std::vector<std::string> subdirectories;
    for (const std::string& name : names) {
      std::string child_relative = relative.empty() ? name : relative + "/" + name;
      std::string path = directory + "/" + name;
      FileKind kind;
      uint64_t size;
      if (!host_stat(path, &kind, &size)) {
        *error = "cannot read " + quoted(path) + ": " + strerror(errno);
        return false;
      }
      if (kind == FileKind::kDirectory) {
        subdirectories.push_back(name);
        continue;
      }
      if (kind != FileKind::kRegular) {
        *error = "cannot pack " + quoted(path) + ": not a regular file";
        return false;
      }
      if (is_file(path, size, skip_output, skip_output_size)) continue;
      // The library stands first already under this very name.
      if (relative.empty() && name == library_name && is_file(path, size, library, library_size))
        continue;
      if (!add(child_relative, path)) return false;
    }
    for (const std::string& name : subdirectories) {
      std::string child_relative = relative.empty() ? name : relative + "/" + name;
      std::string path = directory + "/" + name;
      FileIdentity id = file_identity(path);
      if (std::find(open_directories.begin(), open_directories.end(), id) != open_directories.end()) {
        *error = "cannot pack " + quoted(path) + ": a symbolic link loop";
        return false;
      }
      open_directories.push_back(id);
      bool ok = walk(child_relative);
      open_directories.pop_back();
      if (!ok) return false;
    }
    return true;
  }
};

std::string without_trailing_slashes(std::string path) {
  while (path.size() > 1 && strchr(kSeparators, path.back()) != nullptr) path.pop_back();
  return path;
}

}  // namespace

bool check_application_library(const std::string& path, std::string* error) {
  MappedFile file;
  if (!map_file(path, &file, error)) return false;
  PeImage image;
  std::string problem;
  bool ok = parse_pe_image(file, &image, &problem);
  if (!ok) {
    *error = quoted(path) + " is not an x86-64 DLL: it " + problem;
  } else if (image.machine != kMachineAmd64 || !image.is_pe32_plus) {
    char machine[16];
    snprintf(machine, sizeof machine, "0x%04X", image.machine);
    *error = quoted(path) + " is not an x86-64 DLL: it is built for machine " + machine;
    ok = false;
  } else if (!image.is_dll) {
    *error = quoted(path) + " is not an x86-64 DLL: it is a program, not a library";
    ok = false;
  } else if (!exports_symbol(image, "run_code")) {
    *error = quoted(path) + " exports no run_code";
    ok = false;
  }
  unmap_file(&file);
  return ok;
}

bool collect_payload(const std::string& library, const std::string& directory,
                     const std::string& skip_path, std::vector<BlockRecord>* records,
                     std::string* error) {
  records->clear();
  Walk walk;
  walk.records = records;
  walk.error = error;
  walk.library_name = base_name(library);
  if (!walk.add(walk.library_name, library)) return false;
  if (!check_application_library(library, error)) return false;
  FileKind kind;
  walk.library = file_identity(library);
  if (!host_stat(library, &kind, &walk.library_size)) {
    *error = "cannot read " + quoted(library) + ": " + strerror(errno);
    return false;
  }
  walk.skip_output = file_identity(skip_path);
  if (!host_stat(skip_path, &kind, &walk.skip_output_size)) walk.skip_output = FileIdentity();
  if (walk.skip_output == walk.library) {
    *error = quoted(skip_path) + " is the application library itself; the output would replace it";
    return false;
  }
  if (!directory.empty()) {
    walk.root = without_trailing_slashes(directory);
    uint64_t size;
    if (!host_stat(walk.root, &kind, &size)) {
      *error = "cannot read the directory " + quoted(directory) + ": " + strerror(errno);
      return false;
    }
    if (kind != FileKind::kDirectory) {
      *error = "cannot read the directory " + quoted(directory) + ": " + strerror(ENOTDIR);
      return false;
    }
    walk.open_directories.push_back(file_identity(walk.root));
    if (!walk.walk("")) return false;
  }

  std::vector<std::u16string> names;
  for (const BlockRecord& record : *records) names.push_back(record.name);
  size_t first, second;
  if (find_letter_case_clash(names, &first, &second)) {
    std::string reason;
    if (names[first] == names[second]) {
      // Only the library, named by its file name alone, can meet a file of
      // the directory under the very same name.
      reason = ": two files under the one name '" + utf16_to_utf8(names[first]) +
               "'; rename one, or pack the library that lies in the directory";
    } else if (fold_letter_case(names[first]) == fold_letter_case(names[second])) {
      reason = ": names that differ only in letter case, which Windows takes for one file";
    } else {
      reason = ": a file and a directory whose names differ only in letter case";
    }
    *error = quoted(walk.host_paths[first]) + " and " + quoted(walk.host_paths[second]) + reason;
    return false;
  }
  return true;
}
