// packer block -o OUT [--level N] [--window-log N] [--no-content-size]
//              [--checksum] [--threads N] [--records LIST] [NAME FILE...]
//
// Writes the attached data block for the given records, in the given order
// and under the given names, unchecked: the build's tests use it to make
// blocks that a pack would refuse, down to one that holds no record at all.
// LIST holds a name line then a file line for each record; its records come
// before those of the command line. It exists because a build recipe with
// thousands of records would pass the shell one argument over the 128 KiB
// that Linux allows a single argument.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "block_writer.h"
#include "commands.h"
#include "host_files.h"
#include "utf16.h"

namespace {

// Appends the lines of a record list, name and file alternating, to lines.
bool read_record_list(const char* path, std::vector<std::string>* lines) {
  FILE* f = open_file(path, "rb");
  if (!f) {
    fprintf(stderr, "packer: cannot read record list '%s': %s\n", path, strerror(errno));
    return false;
  }
  std::string line;
  int c;
  while ((c = fgetc(f)) != EOF) {
    if (c != '\n') {
      line.push_back(static_cast<char>(c));
      continue;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines->push_back(line);
    line.clear();
  }
  bool read_error = ferror(f) != 0;
  fclose(f);
  if (!line.empty()) lines->push_back(line);
  if (read_error || lines->size() % 2 != 0) {
    fprintf(stderr, "packer: record list '%s' %s\n", path,
            read_error ? "cannot be read to its end" : "does not pair every name with a file");
    return false;
  }
  return true;
}

}  // namespace

int command_block(int argc, char** argv) {
  BlockOptions options;
  std::string out_path;
  std::vector<BlockRecord> records;
  std::vector<std::string> operands;
  std::vector<std::string> listed;
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
    } else if (strcmp(arg, "--threads") == 0 && has_value) {
      if (!parse_thread_count(argv[++i], &options.threads)) {
        fprintf(stderr, "packer: --threads takes 1 to 256\n");
        return kExitBadValue;
      }
    } else if (strcmp(arg, "--records") == 0 && has_value) {
      if (!read_record_list(argv[++i], &listed)) return kExitBadValue;
    } else {
      operands.push_back(arg);
    }
  }
  operands.insert(operands.begin(), listed.begin(), listed.end());
  if (out_path.empty() || operands.size() % 2 != 0) {
    print_usage(false);
    return kExitUsage;
  }
  for (size_t i = 0; i < operands.size(); i += 2) {
    BlockRecord record;
    if (!utf8_to_utf16(operands[i], &record.name)) {
      fprintf(stderr, "packer: record name '%s' is not UTF-8\n", operands[i].c_str());
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
