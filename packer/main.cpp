// The packer's command line.
//
//   packer pack APP_LIBRARY [DIRECTORY] -o OUT.exe [options]
//   packer list [--json] OUT.exe
//   packer extract OUT.exe DIR
//   packer block -o OUT [options] [NAME FILE...]
//
// pack builds a launcher executable; list shows what one carries and
// extract writes it out; block writes only the attached data block, for the
// build's own tests.
#include <vector>

#include <CLI/CLI.hpp>

#include "command_line.h"
#include "commands.h"

int main(int argc, char** argv) {
  CLI::App packer("Packs a Windows application into one executable that unpacks and runs it.",
                  "packer");
  describe_packer(&packer);
  std::vector<Command> commands = {add_pack_command(&packer), add_list_command(&packer),
                                   add_extract_command(&packer), add_block_command(&packer)};
  try {
    packer.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return report_parse_error(packer, error);
  }
  for (const Command& command : commands)
    if (command.app->parsed()) return command.run();
  return kExitUsage;
}
