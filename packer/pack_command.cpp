// packer pack APP_LIBRARY [DIRECTORY] -o OUT.exe [--icon FILE] [--console]
//             [--uac LEVEL] [--version-info KEY=VALUE]... [--level N]
//             [--window-log N] [--no-content-size] [--checksum] [--threads N]
//             [--quiet]
//
// Collects and checks the records, then writes the executable itself: the
// launcher image the packer carries, the resources and the block compressed
// straight into it. No other program is run.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "attached/block_format.h"
#include "block_writer.h"
#include "commands.h"
#include "executable_output.h"
#include "host_files.h"
#include "pack_progress.h"
#include "payload_files.h"

namespace {

// Zstandard's smallest window.
const int kMinWindowLog = 10;
// More workers than this only cost memory: each holds a job's buffers.
const int kMaxThreads = 256;

struct PackOptions {
  std::string library;
  std::string directory;
  std::string output;
  bool quiet = false;
  ExecutableOptions executable;
  BlockOptions block;
};

// Every core the machine has; 1 when it cannot tell.
int all_cores() {
  unsigned cores = std::thread::hardware_concurrency();
  if (cores == 0) return 1;
  return cores > unsigned(kMaxThreads) ? kMaxThreads : static_cast<int>(cores);
}

// 0 when the arguments are usable, -1 after --help, else the exit status.
int parse_arguments(int argc, char** argv, PackOptions* args) {
  std::vector<std::string> operands;
  bool options_ended = false;
  args->block.threads = all_cores();
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    bool has_value = i + 1 < argc;
    std::string error;
    OptionTaken taken = kNotMine;
    if (!options_ended && !arg.empty() && arg[0] == '-')
      taken = take_executable_option(argc, argv, &i, &args->executable, &error);
    if (taken == kBadValue) {
      fprintf(stderr, "packer: %s\n", error.c_str());
      return kExitBadValue;
    }
    if (taken == kTaken) continue;
    if (options_ended || arg.empty() || arg[0] != '-') {
      operands.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      print_usage(true);
      return -1;
    } else if (arg == "-o" && has_value) {
      args->output = argv[++i];
    } else if (arg == "--level" && has_value) {
      if (!parse_int(argv[++i], 1, 22, &args->block.level)) {
        fprintf(stderr, "packer: --level takes 1 to 22\n");
        return kExitBadValue;
      }
    } else if (arg == "--window-log" && has_value) {
      if (!parse_int(argv[++i], kMinWindowLog, ATTACHED_MAX_WINDOW_LOG, &args->block.window_log)) {
        fprintf(stderr, "packer: --window-log takes %d to %d\n", kMinWindowLog, ATTACHED_MAX_WINDOW_LOG);
        return kExitBadValue;
      }
    } else if (arg == "--threads" && has_value) {
      if (!parse_thread_count(argv[++i], &args->block.threads)) {
        fprintf(stderr, "packer: --threads takes 1 to %d\n", kMaxThreads);
        return kExitBadValue;
      }
    } else if (arg == "--checksum") {
      args->block.checksum = true;
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
  return 0;
}

uint64_t file_size(const std::string& path) {
  FileKind kind;
  uint64_t size = 0;
  return host_stat(path, &kind, &size) ? size : 0;
}

}  // namespace

bool parse_thread_count(const char* text, int* threads) {
  return parse_int(text, 1, kMaxThreads, threads);
}

int command_pack(int argc, char** argv) {
  auto started = std::chrono::steady_clock::now();
  PackOptions args;
  int status = parse_arguments(argc, argv, &args);
  if (status != 0) return status < 0 ? kExitOk : status;

  std::string error;
  std::vector<BlockRecord> records;
  bool ok = check_executable_output(args.output, args.executable, &error) &&
            collect_payload(args.library, args.directory, args.output, &records, &error);
  if (!ok) {
    fprintf(stderr, "packer: %s\n", error.c_str());
    return kExitFailed;
  }

  uint64_t content_bytes = 0;
  for (const BlockRecord& record : records) content_bytes += file_size(record.path);
  PackProgress progress(!args.quiet && isatty(STDERR_FILENO), records.size(), content_bytes);
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
