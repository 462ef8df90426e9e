// packer pack APP_LIBRARY [DIRECTORY] -o OUT.exe [--icon FILE] [--level N]
//             [--window-log N] [--no-content-size] [--no-checksum] [--kit DIR]
//             [--quiet]
//
// Collects and checks the records, writes the block, then links the
// launcher kit around it: no launcher source is compiled here.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "block_writer.h"
#include "commands.h"
#include "icon_file.h"
#include "launcher_kit.h"
#include "pack_progress.h"
#include "payload_files.h"
#include "work_dir.h"

#ifndef ONEFILE_DEFAULT_KIT
#define ONEFILE_DEFAULT_KIT ""
#endif

namespace {

// The launcher's decoder takes windows up to 2^27 bytes at its defaults.
const int kMaxLauncherWindowLog = 27;
// Zstandard's smallest window.
const int kMinWindowLog = 10;

struct PackArguments {
  std::string library;
  std::string directory;
  std::string output;
  std::string icon;
  std::string kit;
  bool quiet = false;
  BlockOptions block;
};

// 0 when the arguments are usable, else the exit status.
int parse_arguments(int argc, char** argv, PackArguments* args) {
  std::vector<std::string> operands;
  bool options_ended = false;
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    bool has_value = i + 1 < argc;
    if (options_ended || arg.empty() || arg[0] != '-') {
      operands.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      print_usage(true);
      return -1;
    } else if (arg == "-o" && has_value) {
      args->output = argv[++i];
    } else if (arg == "--icon" && has_value) {
      args->icon = argv[++i];
    } else if (arg == "--kit" && has_value) {
      args->kit = argv[++i];
    } else if (arg == "--level" && has_value) {
      if (!parse_int(argv[++i], 1, 22, &args->block.level)) {
        fprintf(stderr, "packer: --level takes 1 to 22\n");
        return kExitBadValue;
      }
    } else if (arg == "--window-log" && has_value) {
      if (!parse_int(argv[++i], kMinWindowLog, kMaxLauncherWindowLog, &args->block.window_log)) {
        fprintf(stderr, "packer: --window-log takes %d to %d\n", kMinWindowLog, kMaxLauncherWindowLog);
        return kExitBadValue;
      }
    } else if (arg == "--checksum") {
      args->block.checksum = true;
    } else if (arg == "--no-checksum") {
      args->block.checksum = false;
    } else if (arg == "--no-content-size") {
      args->block.declare_content_size = false;
    } else if (arg == "--quiet" || arg == "-q") {
      args->quiet = true;
    } else {
      fprintf(stderr, "packer: unknown option '%s' for pack\n", arg.c_str());
      print_usage(false);
      return kExitUsage;
    }
  }
  if (operands.empty() || operands.size() > 2 || args->output.empty()) {
    print_usage(false);
    return kExitUsage;
  }
  args->library = operands[0];
  if (operands.size() == 2) args->directory = operands[1];
  if (args->kit.empty()) {
    const char* from_environment = getenv("ONEFILE_KIT");
    args->kit = from_environment != nullptr && *from_environment ? from_environment : ONEFILE_DEFAULT_KIT;
  }
  return 0;
}

uint64_t file_size(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// Everything after the work folder exists; it is removed whatever happens.
bool build_in_work_dir(const PackArguments& args, const LauncherKit& kit,
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

}  // namespace

int command_pack(int argc, char** argv) {
  auto started = std::chrono::steady_clock::now();
  PackArguments args;
  int status = parse_arguments(argc, argv, &args);
  if (status != 0) return status < 0 ? kExitOk : status;

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

  uint64_t content_bytes = 0;
  for (const BlockRecord& record : records) content_bytes += file_size(record.path);
  PackProgress progress(!args.quiet && isatty(STDERR_FILENO), records.size(), content_bytes);
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
