// The few file operations whose calls differ between the hosts the packer
// runs on (Linux and Windows): 64-bit seeking, what kind of file a path
// names, and writing a file beside its final name so that an existing one
// is replaced only by a complete new one, also when the packer is
// interrupted.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

// Paths are UTF-8 on both hosts; on Windows they are converted for the
// system's wide calls.

enum class FileKind { kRegular, kDirectory, kOther };

// What stat tells, following symbolic links; false with errno set.
bool host_stat(const std::string& path, FileKind* kind, uint64_t* size);

// The file's identity on its volume; two paths of one file give the same.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t file = 0;
  bool known = false;
  bool operator==(const FileIdentity& other) const {
    return known && other.known && volume == other.volume && file == other.file;
  }
};
FileIdentity file_identity(const std::string& path);

// The names in a directory, without "." and ".."; false with errno set.
bool read_directory(const std::string& path, std::vector<std::string>* names);

FILE* open_file(const std::string& path, const char* mode);

bool seek_file(FILE* file, uint64_t offset);

// Whether path names something that is not a regular file (a directory, a
// device, a pipe); a missing path is none of these.
bool is_other_than_regular_file(const std::string& path);

// Opens a fresh temporary file beside final_path for writing and reading,
// and removes it if SIGINT, SIGTERM or SIGHUP (on Windows a console event)
// ends the packer before it is committed. One at a time. On failure
// returns null with a message naming final_path in *error.
FILE* open_temporary_beside(const std::string& final_path, std::string* error);

// Closes the temporary file and renames it to its final name, replacing an
// existing file; or, with keep false or on failure, removes it.
bool commit_temporary(FILE* file, bool keep, std::string* error);
