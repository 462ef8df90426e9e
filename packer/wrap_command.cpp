// packer wrap BLOCK -o OUT.exe [--console] [--uac LEVEL] [--icon FILE]
//                   [--version-info KEY=VALUE]...
//
// Writes a launcher executable around a block made beforehand, unchecked:
// the build's tests use it to make launchers of blocks that a pack would
// refuse (no records, a damaged magic). It writes the executable exactly as
// pack does.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "commands.h"
#include "executable_output.h"
#include "host_files.h"

namespace {

// A piece of the block on its way from one file to the other.
const size_t kCopyPiece = 1 << 20;

bool copy_block(const std::string& path, const std::string& output, FILE* out, uint64_t room,
                uint64_t* length, std::string* error) {
  FileKind kind;
  uint64_t size;
  if (host_stat(path, &kind, &size) && size > room) {
    *error = too_large_message(output, "the block '" + path + "' of " + std::to_string(size) +
                                           " bytes is more than the " + std::to_string(room) +
                                           " bytes left for it");
    return false;
  }
  FILE* in = open_file(path, "rb");
  if (in == nullptr) {
    *error = "cannot read '" + path + "': " + strerror(errno);
    return false;
  }
  std::vector<char> piece(kCopyPiece);
  *length = 0;
  bool ok = true;
  size_t n;
  while (ok && (n = fread(piece.data(), 1, piece.size(), in)) > 0) {
    *length += n;
    if (*length > room) {
      *error = too_large_message(output, "the block '" + path + "' grew past the " +
                                             std::to_string(room) + " bytes left for it");
      ok = false;
    } else if (fwrite(piece.data(), 1, n, out) != n) {
      *error = std::string("cannot write the executable: ") + strerror(errno);
      ok = false;
    }
  }
  if (ok && ferror(in)) {
    *error = "cannot read '" + path + "': " + strerror(errno);
    ok = false;
  }
  fclose(in);
  return ok;
}

}  // namespace

int command_wrap(int argc, char** argv) {
  ExecutableOptions options;
  std::string output;
  std::vector<std::string> operands;
  for (int i = 0; i < argc; ++i) {
    std::string error;
    OptionTaken taken = take_executable_option(argc, argv, &i, &options, &error);
    if (taken == kBadValue) {
      fprintf(stderr, "packer: %s\n", error.c_str());
      return kExitBadValue;
    }
    if (taken == kTaken) continue;
    if (strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      output = argv[++i];
    } else {
      operands.push_back(argv[i]);
    }
  }
  if (operands.size() != 1 || output.empty()) {
    print_usage(false);
    return kExitUsage;
  }
  std::string block = operands[0];
  std::string error;
  bool ok = write_executable_file(
      output, options,
      [&](FILE* out, uint64_t room, uint64_t* length, std::string* block_error) {
        return copy_block(block, output, out, room, length, block_error);
      },
      &error);
  if (!ok) {
    fprintf(stderr, "packer: %s\n", error.c_str());
    return kExitFailed;
  }
  return kExitOk;
}
