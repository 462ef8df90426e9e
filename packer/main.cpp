// The packer's command line.
//
//   packer pack APP_LIBRARY [DIRECTORY] -o OUT.exe [options]
//   packer list [--json] OUT.exe
//   packer extract OUT.exe DIR
//   packer block -o OUT [options] [NAME FILE...]
//   packer wrap BLOCK -o OUT.exe [options]
//
// pack builds a launcher executable; list shows what one carries and
// extract writes it out; block writes only the attached data block and wrap
// an executable around a given block, for the build's own tests.
//
// The packer is host C++ in a style of its own (classes, standard
// containers, exceptions where CLI11 throws them, `k` constants), unlike the
// launcher's plain procedural code over fixed buffers; it shares with the
// launcher only the block format (attached/block_format.h) and the
// record-name rule (common/record_name_rule.h).
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "command_line.h"
#include "commands.h"
#include "utf16.h"

namespace {

int run_packer(int argc, char** argv) {
  CLI::App packer("Packs a Windows application into one executable that unpacks and runs it.",
                  "packer");
  describe_packer(&packer);
  std::vector<Command> commands = {add_pack_command(&packer), add_list_command(&packer),
                                   add_extract_command(&packer), add_block_command(&packer),
                                   add_wrap_command(&packer)};
  try {
    packer.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return report_parse_error(packer, error);
  }
  for (const Command& command : commands)
    if (command.app->parsed()) return command.run();
  return kExitUsage;
}

}  // namespace

#ifdef _WIN32
// The Windows packer takes its arguments as the system gives them, in
// UTF-16, and works in UTF-8 like the Linux one.
int wmain(int argc, wchar_t** wide_argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i)
    arguments.push_back(utf16_to_utf8(reinterpret_cast<const char16_t*>(wide_argv[i])));
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(&argument[0]);
  argv.push_back(nullptr);
  return run_packer(argc, argv.data());
}
#else
int main(int argc, char** argv) { return run_packer(argc, argv); }
#endif
