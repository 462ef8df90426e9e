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

#include <memory>
#include <string>
#include <vector>

#include "command_line.h"
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

struct WrapArguments {
  std::string block;
  std::string output;
  ExecutableOptions executable;
};

int run_wrap(const WrapArguments& args) {
  std::string error;
  bool ok = write_executable_file(
      args.output, args.executable,
      [&](FILE* out, uint64_t room, uint64_t* length, std::string* block_error) {
        return copy_block(args.block, args.output, out, room, length, block_error);
      },
      &error);
  if (!ok) {
    fprintf(stderr, "packer: %s\n", error.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

Command add_wrap_command(CLI::App* packer) {
  CLI::App* command = add_packer_subcommand(
      packer, "wrap", "write an executable around a given block (for the build's tests)",
      "Writes a launcher executable around BLOCK exactly as pack would, without checking the "
      "block: the build's tests use it for blocks that a pack refuses.");
  auto args = std::make_shared<WrapArguments>();
  command->add_option("BLOCK", args->block, "the attached data block")->required();
  command->add_option("-o,--output", args->output, "the executable to write")
      ->required()
      ->type_name("OUT.exe");
  declare_executable_options(command, &args->executable);
  return {command, [args] { return run_wrap(*args); }};
}
