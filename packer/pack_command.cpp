// packer pack APP_LIBRARY [DIRECTORY] -o OUT.exe [options]
//
// Collects and checks the records and their dependencies, writes the block,
// then links the launcher kit around it: no launcher source is compiled here.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "block_writer.h"
#include "command_line.h"
#include "commands.h"
#include "dependencies.h"
#include "icon_file.h"
#include "launcher_kit.h"
#include "pack_progress.h"
#include "payload_files.h"
#include "terminal.h"
#include "work_dir.h"

#ifndef ONEFILE_DEFAULT_KIT
#define ONEFILE_DEFAULT_KIT ""
#endif

namespace {

// The launcher's decoder takes windows up to 2^27 bytes at its defaults.
const int kMaxLauncherWindowLog = 27;

// Everything a pack is told on its command line.
struct PackOptions {
  std::string library;
  std::string directory;
  std::string output;
  std::string icon;
  std::string kit;
  bool quiet = false;
  bool strict = false;
  BlockOptions block;
};

void declare_pack_options(CLI::App* command, PackOptions* options) {
  command->add_option("APP_LIBRARY", options->library,
                      "the application: an x86-64 DLL that exports run_code")
      ->required();
  command->add_option("DIRECTORY", options->directory,
                      "a folder whose regular files go in too, named by their paths below it");
  command->add_option("-o,--output", options->output,
                      "the executable to write; an existing one is replaced only by a complete "
                      "new one")
      ->required()
      ->type_name("OUT.exe");
  command->add_option("--icon", options->icon, "the executable's icon instead of the default one")
      ->type_name("FILE.ico");
  declare_block_options(command, &options->block, kMaxLauncherWindowLog);
  command->add_option("--kit", options->kit,
                      "the launcher kit made by the Windows build (default: the ONEFILE_KIT "
                      "environment variable, else the build's own)")
      ->type_name("DIR");
  command->add_flag("--strict", options->strict,
                    "refuse to pack when a DLL that a file of the payload imports is neither in "
                    "the payload nor part of Windows, instead of warning");
  command->add_flag("-q,--quiet", options->quiet, "neither progress display nor summary");
}

// The kit named on the command line, else in the environment, else the build's.
std::string chosen_kit(const std::string& named) {
  if (!named.empty()) return named;
  const char* from_environment = getenv("ONEFILE_KIT");
  return from_environment != nullptr && *from_environment ? from_environment : ONEFILE_DEFAULT_KIT;
}

uint64_t file_size(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// Everything after the work folder exists; it is removed whatever happens.
bool build_in_work_dir(const PackOptions& args, const LauncherKit& kit,
                       const std::vector<BlockRecord>& records, const std::string& work_dir,
                       PackProgress* progress, BlockSummary* summary, std::string* error) {
  BlockOptions options = args.block;
  options.temporary_path = work_dir + "/block.bin.partial";
  options.progress = [progress](uint64_t done_records, uint64_t done_bytes) {
    progress->compressing(done_records, done_bytes);
  };
  if (!write_attached_block(records, options, work_dir + "/block.bin", summary, error)) return false;
  progress->linking();
  std::string resources = kit.directory + "/resources.o";
  if (!args.icon.empty()) {
    if (!compile_resources(kit, work_dir, args.icon, error)) return false;
    resources = "resources.o";
  }
  if (!link_launcher(kit, work_dir, resources, error)) {
    *error = "cannot link '" + args.output + "': " + *error;
    return false;
  }
  if (rename((work_dir + "/launcher.exe").c_str(), args.output.c_str()) != 0) {
    *error = "cannot write '" + args.output + "': " + strerror(errno);
    return false;
  }
  return true;
}

int run_pack(PackOptions args) {
  auto started = std::chrono::steady_clock::now();
  args.kit = chosen_kit(args.kit);

  std::string error;
  LauncherKit kit;
  std::vector<BlockRecord> records;
  bool ok = load_launcher_kit(args.kit, &kit, &error) &&
            (args.icon.empty() || check_icon_file(args.icon, &error)) &&
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
  std::string work_dir;
  BlockSummary summary;
  ok = make_work_dir(args.output, &work_dir, &error) &&
       build_in_work_dir(args, kit, records, work_dir, &progress, &summary, &error);
  remove_work_dir();
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
      "folder. Names inside the executable are the paths relative to DIRECTORY with "
      "backslashes; a name that Windows cannot store as given is refused.\n\n"
      "Every DLL that a file of the payload imports, at load time or delay-loaded, must be in "
      "the payload (in any folder, in any letter case) or part of Windows: each one that is "
      "neither gets a warning line naming the importing file and the DLL, and --strict "
      "refuses the pack instead.");
  auto options = std::make_shared<PackOptions>();
  declare_pack_options(command, options.get());
  return {command, [options] { return run_pack(*options); }};
}
