// The packer's subcommands. Each one adds itself to the packer's command
// line and hands back what runs it once that subcommand was chosen.
#pragma once

#include <functional>

namespace CLI {
class App;
}

// The same for every command, and listed in every --help:
// 0 done, 1 failed (a message on standard error), 2 bad option value,
// 64 bad usage (unknown option, missing value or operand).
enum { kExitOk = 0, kExitFailed = 1, kExitBadValue = 2, kExitUsage = 64 };

struct Command {
  CLI::App* app = nullptr;
  std::function<int()> run;  // the exit status
};

Command add_pack_command(CLI::App* packer);
Command add_list_command(CLI::App* packer);
Command add_extract_command(CLI::App* packer);
Command add_block_command(CLI::App* packer);
Command add_wrap_command(CLI::App* packer);
