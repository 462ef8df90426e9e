// packer extract OUT.exe DIR: writes the records of a built executable into
// DIR, so that what ships can be seen and compared with its source tree.
//
// The whole block is read and every name checked before anything is
// written: damaged data, or a name that the launcher would refuse as
// reaching outside its folder, leaves DIR untouched. DIR must be missing or
// an empty folder, so that nothing in it (a link above all) was put there by
// anyone else.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>

#include "attached_listing.h"
#include "command_line.h"
#include "commands.h"
#include "record_names.h"
#include "utf16.h"

namespace fs = std::filesystem;

namespace {

struct ExtractArguments {
  std::string executable;
  std::string directory;
};

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// The host path of a record: its backslash-separated components below root.
fs::path host_path(const fs::path& root, const std::u16string& name) {
  fs::path path = root;
  size_t start = 0;
  for (;;) {
    size_t end = name.find(u'\\', start);
    path /= fs::u8path(utf16_to_utf8(name.substr(start, end == std::u16string::npos ? end : end - start)));
    if (end == std::u16string::npos) return path;
    start = end + 1;
  }
}

// Writes each record to its file below root, making the folders its name holds.
class FolderSink : public RecordSink {
 public:
  explicit FolderSink(const fs::path& root) : root_(root) {}

  bool begin(const std::u16string& name, uint64_t, std::string* error) override {
    path_ = host_path(root_, name);
    std::error_code failure;
    fs::create_directories(path_.parent_path(), failure);
    if (failure) return fail("cannot create the folder " + quoted(path_.parent_path().u8string()),
                             failure.message(), error);
    errno = 0;
    file_.open(path_, std::ios::binary | std::ios::trunc);
    if (!file_) return fail("cannot write " + quoted(path_.u8string()), stream_failure(), error);
    return true;
  }

  bool write(const unsigned char* data, size_t size, std::string* error) override {
    errno = 0;
    file_.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!file_) return fail("cannot write " + quoted(path_.u8string()), stream_failure(), error);
    return true;
  }

  bool end(std::string* error) override {
    errno = 0;
    file_.close();
    if (!file_) return fail("cannot write " + quoted(path_.u8string()), stream_failure(), error);
    return true;
  }

 private:
  // A stream promises no errno: the system's reason when the failed call
  // left one, else a plain one.
  static std::string stream_failure() {
    return errno != 0 ? strerror(errno) : "the write failed";
  }

  static bool fail(const std::string& what, const std::string& reason, std::string* error) {
    *error = what + ": " + reason;
    return false;
  }

  fs::path root_;
  fs::path path_;
  std::ofstream file_;
};

// Empty when every name can be written below DIR as the launcher would, else
// the refusal.
std::string check_names(const std::string& executable, const AttachedListing& listing) {
  for (const ListedRecord& record : listing.records) {
    std::u16string round_trip;
    bool is_unicode = utf8_to_utf16(utf16_to_utf8(record.name), &round_trip) &&
                      round_trip == record.name;
    if (!record_name_is_safe(record.name) || !is_unicode)
      return quoted(executable) + " holds the unsafe record name " +
             quoted(utf16_to_utf8(record.name)) + ", which the launcher refuses";
  }
  return "";
}

// Empty when dir is missing or an empty folder, else the refusal.
std::string check_target(const std::string& dir) {
  std::error_code failure;
  fs::file_status status = fs::status(fs::u8path(dir), failure);
  if (status.type() == fs::file_type::not_found) return "";
  if (failure) return "cannot read " + quoted(dir) + ": " + failure.message();
  if (status.type() != fs::file_type::directory) return quoted(dir) + " is not a folder";
  bool empty = fs::is_empty(fs::u8path(dir), failure);
  if (failure) return "cannot read " + quoted(dir) + ": " + failure.message();
  if (!empty) return quoted(dir) + " is not empty; extract writes only into a new or empty folder";
  return "";
}

int run_extract(const ExtractArguments& args) {
  AttachedListing listing;
  std::string error;
  if (!read_attached_listing(args.executable, &listing, &error)) {
    fprintf(stderr, "packer: %s\n", error.c_str());
    return kExitFailed;
  }
  error = check_names(args.executable, listing);
  if (error.empty()) error = check_target(args.directory);
  if (!error.empty()) {
    fprintf(stderr, "packer: %s\n", error.c_str());
    return kExitFailed;
  }
  fs::path root = fs::u8path(args.directory);
  std::error_code failure;
  fs::create_directories(root, failure);
  if (failure) {
    fprintf(stderr, "packer: cannot create the folder %s: %s\n", quoted(args.directory).c_str(),
            failure.message().c_str());
    return kExitFailed;
  }
  FolderSink sink(root);
  if (!read_attached_listing(args.executable, &listing, &error, &sink)) {
    fprintf(stderr, "packer: %s\n", error.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

Command add_extract_command(CLI::App* packer) {
  CLI::App* command = add_packer_subcommand(
      packer, "extract", "write the files that a built executable carries into a folder",
      "Writes the files that OUT.exe carries into DIR, which must be missing or an empty "
      "folder, under the names they have in the launcher's folder (backslashes become "
      "folders). Damaged attached data, or a name that the launcher would refuse, leaves DIR "
      "untouched.");
  auto args = std::make_shared<ExtractArguments>();
  command->add_option("OUT.exe", args->executable, "the executable to read")->required();
  command->add_option("DIR", args->directory, "the folder to write the files into")->required();
  return {command, [args] { return run_extract(*args); }};
}
