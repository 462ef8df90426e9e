// packer block -o OUT [--level N] [--window-log N] [--no-content-size]
//              [--checksum] [NAME FILE...]
//
// Writes the attached data block for the given records, in the given order
// and under the given names, unchecked: the build's tests use it to make
// blocks that a pack would refuse, down to one that holds no record at all.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "block_writer.h"
#include "commands.h"
#include "utf16.h"

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
        return kExitBadValue;
      }
    } else if (strcmp(arg, "--window-log") == 0 && has_value) {
      if (!parse_int(argv[++i], 10, 31, &options.window_log)) {
        fprintf(stderr, "packer: --window-log takes 10 to 31\n");
        return kExitBadValue;
      }
    } else if (strcmp(arg, "--no-content-size") == 0) {
      options.declare_content_size = false;
    } else if (strcmp(arg, "--checksum") == 0) {
      options.checksum = true;
    } else {
      operands.push_back(arg);
    }
  }
  if (out_path.empty() || operands.size() % 2 != 0) {
    print_usage(false);
    return kExitUsage;
  }
  for (size_t i = 0; i < operands.size(); i += 2) {
    BlockRecord record;
    if (!utf8_to_utf16(operands[i], &record.name)) {
      fprintf(stderr, "packer: record name '%s' is not UTF-8\n", operands[i]);
      return kExitBadValue;
    }
    record.path = operands[i + 1];
    records.push_back(record);
  }
  BlockSummary summary;
  std::string error;
  if (!write_attached_block(records, options, out_path, &summary, &error)) {
    fprintf(stderr, "packer: %s\n", error.c_str());
    return kExitFailed;
  }
  return kExitOk;
}
