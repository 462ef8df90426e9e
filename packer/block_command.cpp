// packer block -o OUT [--level N] [--window-log N] [--no-content-size]
//              [--checksum | --no-checksum] [--threads N] [--records LIST] [NAME FILE...]
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

#include <memory>
#include <string>
#include <vector>

#include "block_writer.h"
#include "command_line.h"
#include "commands.h"
#include "host_files.h"
#include "utf16.h"

namespace {

// The frame format's own limit: blocks that the launcher must refuse are
// made on purpose.
const int kMaxBlockWindowLog = 31;

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


struct BlockArguments {
  std::string output;
  std::string record_list;
  std::vector<std::string> operands;  // name, file, name, file...
  BlockOptions block;
};

void declare_block_arguments(CLI::App* command, BlockArguments* args) {
  command->add_option("NAME FILE", args->operands,
                      "a record: its name in the block and the file that holds its content")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command->add_option("-o,--output", args->output, "the block to write")->required();
  declare_block_options(command, &args->block, kMaxBlockWindowLog);
  command->add_option("--records", args->record_list,
                      "a file of records, a name line then a file line for each; they come "
                      "before those of the command line")
      ->type_name("LIST");
}

int run_block(const BlockArguments& args) {
  std::vector<std::string> operands;
  if (!args.record_list.empty() && !read_record_list(args.record_list.c_str(), &operands))
    return kExitBadValue;
  if (args.operands.size() % 2 != 0) {
    fprintf(stderr, "packer: block: the record '%s' has a name but no file (see 'packer block --help')\n",
            args.operands.back().c_str());
    return kExitUsage;
  }
  operands.insert(operands.end(), args.operands.begin(), args.operands.end());
  std::vector<BlockRecord> records;
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
  if (!write_attached_block(records, args.block, args.output, &summary, &error)) {
    fprintf(stderr, "packer: %s\n", error.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

Command add_block_command(CLI::App* packer) {
  CLI::App* command = add_packer_subcommand(
      packer, "block", "write only an attached data block, for the build's own tests",
      "Writes the attached data block for the given records, in the given order and under the "
      "given names, unchecked, so that the build's tests can make blocks that a pack would "
      "refuse.");
  auto args = std::make_shared<BlockArguments>();
  declare_block_arguments(command, args.get());
  return {command, [args] { return run_block(*args); }};
}
