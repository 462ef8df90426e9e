// packer pack APP_LIBRARY [DIRECTORY] -o OUT.exe [options]
//
// Collects and checks the records and their dependencies, then writes the
// executable itself: the launcher image the packer carries, the resources
// and the block compressed straight into it. No other program is run.
#include <stdio.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "attached/block_format.h"
#include "block_writer.h"
#include "command_line.h"
#include "commands.h"
#include "dependencies.h"
#include "executable_output.h"
#include "host_files.h"
#include "pack_progress.h"
#include "payload_files.h"
#include "terminal.h"

namespace {

// Everything a pack is told on its command line.
struct PackOptions {
  std::string library;
  std::string directory;
  std::string output;
  bool quiet = false;
  bool strict = false;
  ExecutableOptions executable;
  BlockOptions block;
};

void declare_pack_options(CLI::App* command, PackOptions* options) {
  command->add_option("APP_LIBRARY", options->library,
                      "the application: an x86-64 DLL that exports run_code")
      ->required();
  command->add_option("DIRECTORY", options->directory,
                      "a folder whose regular files go in too, named by their paths below it");
  command->add_option("-o,--output", options->output,
                      "the executable to write; an existing file is replaced only by a complete "
                      "new one, and anything else (a directory, a device) is refused")
      ->required()
      ->type_name("OUT.exe");
  declare_executable_options(command, &options->executable);
  declare_block_options(command, &options->block, ATTACHED_MAX_WINDOW_LOG);
  command->add_flag("--strict", options->strict,
                    "refuse to pack when a DLL that a file of the payload imports is neither in "
                    "the payload nor part of Windows, instead of warning");
  command->add_flag("-q,--quiet", options->quiet, "neither progress display nor summary");
}

uint64_t file_size(const std::string& path) {
  FileKind kind;
  uint64_t size = 0;
  return host_stat(path, &kind, &size) ? size : 0;
}

int run_pack(const PackOptions& args) {
  auto started = std::chrono::steady_clock::now();
  std::string error;
  std::vector<BlockRecord> records;
  bool ok = check_executable_output(args.output, args.executable, &error) &&
            collect_payload(args.library, args.directory, args.output, &records, &error);
  if (!ok) {
    fprintf(stderr, "packer: %s\n", error.c_str());
    return kExitFailed;
  }
  std::vector<std::string> warnings = find_missing_dependencies(records);
  for (const std::string& warning : warnings)
    fprintf(stderr, "packer: %s%s\n", args.strict ? "" : "warning: ", warning.c_str());
  if (args.strict && !warnings.empty()) {
    fprintf(stderr, "packer: nothing written: --strict refuses a payload with missing DLLs\n");
    return kExitFailed;
  }

  uint64_t content_bytes = 0;
  for (const BlockRecord& record : records) content_bytes += file_size(record.path);
  PackProgress progress(!args.quiet && stderr_is_terminal(), records.size(), content_bytes);
  BlockOptions options = args.block;
  options.progress = [&progress](uint64_t done_records, uint64_t done_bytes) {
    progress.compressing(done_records, done_bytes);
  };
  BlockSummary summary;
  auto block = [&](FILE* out, uint64_t room, uint64_t* length, std::string* block_error) {
    if (!write_attached_block_to(out, records, options, room, args.output, &summary, block_error)) {
      if (summary.too_large)
        *block_error = too_large_message(
            args.output, std::to_string(summary.records) + " files of " +
                             std::to_string(summary.content_bytes) +
                             " bytes compress to more than the " + std::to_string(room) +
                             " bytes left for them");
      return false;
    }
    *length = summary.block_bytes;
    return true;
  };
  ok = write_executable_file(args.output, args.executable, block, &error);
  progress.finish();
  if (!ok) {
    fprintf(stderr, "packer: %s\n", error.c_str());
    return kExitFailed;
  }
  if (!args.quiet) {
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    print_pack_summary(args.output, summary.records, summary.content_bytes, file_size(args.output),
                       seconds);
  }
  return kExitOk;
}

}  // namespace

Command add_pack_command(CLI::App* packer) {
  CLI::App* command = add_packer_subcommand(
      packer, "pack", "pack an application into one Windows executable",
      "Writes one Windows executable that carries APP_LIBRARY and every regular file below "
      "DIRECTORY. Started, it unpacks them into a fresh folder, runs run_code and deletes the "
      "folder. The packer writes the executable itself from the launcher it carries; it needs "
      "no other program. Names inside the executable are the paths relative to DIRECTORY with "
      "backslashes; a name that Windows cannot store as given is refused.\n\n"
      "Every DLL that a file of the payload imports, at load time or delay-loaded, must be in "
      "the payload (in any folder, in any letter case) or part of Windows: each one that is "
      "neither gets a warning line naming the importing file and the DLL, and --strict "
      "refuses the pack instead.\n\n"
      "An executable holds at most 2 GiB (2147483648 bytes), the most the Windows loader "
      "takes (Wine takes up to the format's 4 GiB): a payload that compresses to more is "
      "refused and the output is left as it was.");
  auto options = std::make_shared<PackOptions>();
  declare_pack_options(command, options.get());
  return {command, [options] { return run_pack(*options); }};
}
