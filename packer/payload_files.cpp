#include "payload_files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "mapped_file.h"
#include "pe_image.h"
#include "record_names.h"
#include "utf16.h"

namespace {

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool known = false;
};

FileIdentity identity_of(const std::string& path) {
  FileIdentity id;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.known = true;
  }
  return id;
}

bool same_file(const struct stat& st, const FileIdentity& id) {
  return id.known && st.st_dev == id.device && st.st_ino == id.inode;
}

std::string quoted(const std::string& path) { return "'" + path + "'"; }

std::string base_name(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool check_readable(const std::string& path, std::string* error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot read " + quoted(path) + ": " + strerror(errno);
    return false;
  }
  close(fd);
  return true;
}

struct Walk {
  std::string root;
  FileIdentity skip_output;
  FileIdentity library;
  std::string library_name;
  std::vector<BlockRecord>* records;
  std::vector<std::string> host_paths;  // beside records, for messages
  std::vector<std::pair<dev_t, ino_t>> open_directories;  // to see link loops
  std::string* error;

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
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) {
      *error = "cannot read the directory " + quoted(directory) + ": " + strerror(errno);
      return false;
    }
    std::vector<std::string> names;
    errno = 0;
    while (struct dirent* entry = readdir(dir)) {
      if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
        names.push_back(entry->d_name);
    }
    int read_errno = errno;
    closedir(dir);
    if (read_errno != 0) {
      *error = "cannot read the directory " + quoted(directory) + ": " + strerror(read_errno);
      return false;
    }
    std::sort(names.begin(), names.end());

    std::vector<std::string> subdirectories;
    for (const std::string& name : names) {
      std::string child_relative = relative.empty() ? name : relative + "/" + name;
      std::string path = directory + "/" + name;
      struct stat st;
      if (stat(path.c_str(), &st) != 0) {
        *error = "cannot read " + quoted(path) + ": " + strerror(errno);
        return false;
      }
      if (S_ISDIR(st.st_mode)) {
        subdirectories.push_back(name);
        continue;
      }
      if (!S_ISREG(st.st_mode)) {
        *error = "cannot pack " + quoted(path) + ": not a regular file";
        return false;
      }
      if (same_file(st, skip_output)) continue;
      // The library stands first already under this very name.
      if (relative.empty() && name == library_name && same_file(st, library)) continue;
      if (!add(child_relative, path)) return false;
    }
    for (const std::string& name : subdirectories) {
      std::string child_relative = relative.empty() ? name : relative + "/" + name;
      std::string path = directory + "/" + name;
      struct stat st;
      stat(path.c_str(), &st);
      std::pair<dev_t, ino_t> id(st.st_dev, st.st_ino);
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
  while (path.size() > 1 && path.back() == '/') path.pop_back();
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
  walk.library = identity_of(library);
  walk.skip_output = identity_of(skip_path);
  if (walk.skip_output.known && walk.skip_output.device == walk.library.device &&
      walk.skip_output.inode == walk.library.inode) {
    *error = quoted(skip_path) + " is the application library itself; the output would replace it";
    return false;
  }
  if (!directory.empty()) {
    walk.root = without_trailing_slashes(directory);
    struct stat st;
    if (stat(walk.root.c_str(), &st) != 0) {
      *error = "cannot read the directory " + quoted(directory) + ": " + strerror(errno);
      return false;
    }
    if (!S_ISDIR(st.st_mode)) {
      *error = "cannot read the directory " + quoted(directory) + ": " + strerror(ENOTDIR);
      return false;
    }
    walk.open_directories.emplace_back(st.st_dev, st.st_ino);
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
