// The packer's command line.
//
//   packer block -o OUT [--level N] [--window-log N] [--no-content-size]
//                [--checksum] NAME FILE [NAME FILE...]
//
// writes the attached data block for the given records, in the given order:
// the application library first.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "block_writer.h"
#include "utf16.h"

namespace {

const char kVersion[] = "0.1.0";

int usage(FILE* stream, int status) {
  fprintf(stream,
          "usage: packer block -o OUT [--level N] [--window-log N] [--no-content-size]\n"
          "                    [--checksum] NAME FILE [NAME FILE...]\n"
          "       packer --version\n");
  return status;
}

bool parse_int(const char* text, int low, int high, int* value) {
  char* end = nullptr;
  long parsed = strtol(text, &end, 10);
  if (end == text || *end != '\0' || parsed < low || parsed > high) return false;
  *value = static_cast<int>(parsed);
  return true;
}

int command_block(int argc, char** argv) {
  BlockOptions options;
  std::string out_path;
  std::vector<BlockRecord> records;
  std::vector<const char*> operands;
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    bool has_value = i + 1 < argc;
    if (strcmp(arg, "-o") == 0 && has_value) {
      out_path = argv[++i];
    } else if (strcmp(arg, "--level") == 0 && has_value) {
      if (!parse_int(argv[++i], 1, 22, &options.level)) {
        fprintf(stderr, "packer: --level takes 1 to 22\n");
        return 2;
      }
    } else if (strcmp(arg, "--window-log") == 0 && has_value) {
      if (!parse_int(argv[++i], 10, 31, &options.window_log)) {
        fprintf(stderr, "packer: --window-log takes 10 to 31\n");
        return 2;
      }
    } else if (strcmp(arg, "--no-content-size") == 0) {
      options.declare_content_size = false;
    } else if (strcmp(arg, "--checksum") == 0) {
      options.checksum = true;
    } else {
      operands.push_back(arg);
    }
  }
  if (out_path.empty() || operands.empty() || operands.size() % 2 != 0) return usage(stderr, 64);
  for (size_t i = 0; i < operands.size(); i += 2) {
    BlockRecord record;
    if (!utf8_to_utf16(operands[i], &record.name)) {
      fprintf(stderr, "packer: record name '%s' is not UTF-8\n", operands[i]);
      return 2;
    }
    record.path = operands[i + 1];
    records.push_back(record);
  }
  BlockSummary summary;
  std::string error;
  if (!write_attached_block(records, options, out_path, &summary, &error)) {
    fprintf(stderr, "packer: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage(stderr, 64);
  if (strcmp(argv[1], "--version") == 0) {
    printf("packer %s\n", kVersion);
    return 0;
  }
  if (strcmp(argv[1], "--help") == 0) return usage(stdout, 0);
  if (strcmp(argv[1], "block") == 0) return command_block(argc - 2, argv + 2);
  return usage(stderr, 64);
}
