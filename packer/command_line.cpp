#include "command_line.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <thread>

#include "commands.h"

const char kPackerVersion[] = "0.2.0";

namespace {

const char kExitCodes[] =
    "Exit status, the same for every command:\n"
    "  0   done\n"
    "  1   failed: the input, the output or the attached data was refused (the\n"
    "      reason on standard error), or a warning under --strict\n"
    "  2   an option's value is out of its range or unreadable\n"
    "  64  bad usage: an unknown command or option, a missing value or operand";

// Zstandard's smallest window.
const int kMinWindowLog = 10;
// More compression workers than this only cost memory: each holds a job's
// buffers.
const int kMaxThreads = 256;

// Help lines stay within 79 columns: option descriptions start at column
// 30, CLI11's default, and so get 49.
const size_t kHelpWidth = 79;
const size_t kOptionColumn = 30;

// text broken at blanks into lines of at most width characters; line
// breaks already in it are kept.
std::string wrapped(const std::string& text, size_t width) {
  std::string out;
  size_t line_start = 0;
  size_t last_blank = std::string::npos;
  for (char c : text) {
    out += c;
    if (c == '\n') {
      line_start = out.size();
      last_blank = std::string::npos;
      continue;
    }
    if (c == ' ') last_blank = out.size() - 1;
    if (out.size() - line_start > width && last_blank != std::string::npos) {
      out[last_blank] = '\n';
      line_start = last_blank + 1;
      last_blank = std::string::npos;
    }
  }
  return out;
}

// CLI11's help with long descriptions broken into lines.
class WrappingFormatter : public CLI::Formatter {
 public:
  std::string make_option_desc(const CLI::Option* option) const override {
    return wrapped(option->get_description(), kHelpWidth - kOptionColumn);
  }
  std::string make_footer(const CLI::App* app) const override {
    return wrapped(CLI::Formatter::make_footer(app), kHelpWidth);
  }
};

std::string version_text() { return std::string("packer ") + kPackerVersion; }

// The subcommand that was chosen, if any.
const CLI::App* chosen_command(const CLI::App& packer) {
  for (const CLI::App* command : packer.get_subcommands([](const CLI::App*) { return true; }))
    if (command->parsed()) return command;
  return nullptr;
}

// The first argument that no option or operand took, as a reason.
std::string unexpected(const std::string& argument, bool is_command) {
  if (!argument.empty() && argument[0] == '-') return "unknown option '" + argument + "'";
  return (is_command ? "unknown command '" : "unexpected operand '") + argument + "'";
}

// CLI11's reason, said the way the rest of the packer says things.
std::string plain_message(const CLI::ParseError& error, const CLI::App& packer,
                          const CLI::App* command) {
  std::string text = error.what();
  std::vector<std::string> left = (command != nullptr ? *command : packer).remaining();
  if (!left.empty() && (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr ||
                        (command == nullptr && dynamic_cast<const CLI::RequiredError*>(&error))))
    return unexpected(left.front(), command == nullptr);
  if (command == nullptr && dynamic_cast<const CLI::RequiredError*>(&error) != nullptr)
    return "a command is missing: pack, list, extract or block";
  // "-o: 1 required TEXT missing"
  size_t colon = text.find(": ");
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr && colon != std::string::npos &&
      text.size() > 8 && text.compare(text.size() - 8, 8, " missing") == 0)
    return "the option " + text.substr(0, colon) + " needs a value, which is missing";
  return text;
}

}  // namespace

void describe_packer(CLI::App* packer) {
  auto formatter = std::make_shared<WrappingFormatter>();
  formatter->label("Positionals", "Operands");
  formatter->label("Subcommands", "Commands");
  formatter->label("SUBCOMMAND", "COMMAND");
  packer->formatter(formatter);
  // An option given again overrides what it said before, as shells' aliases
  // and wrapper scripts rely on. Subcommands inherit this.
  packer->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  // Paths such as /home/me/app.dll are operands on every system, never
  // Windows-style options; subcommands inherit this.
  packer->allow_windows_style_options(false);
  packer->footer(kExitCodes);
  packer->set_version_flag("--version", version_text(), "print the packer's version and exit");
  packer->set_help_flag("-h,--help", "print this help and exit");
  packer->require_subcommand(1);
}

CLI::App* add_packer_subcommand(CLI::App* packer, const char* name, const char* summary,
                                const char* details) {
  CLI::App* command = packer->add_subcommand(name, summary);
  command->footer(std::string(details) + "\n\n" + kExitCodes);
  command->set_version_flag("--version", version_text(), "print the packer's version and exit");
  return command;
}

int report_parse_error(const CLI::App& packer, const CLI::ParseError& error) {
  if (dynamic_cast<const CLI::CallForVersion*>(&error) != nullptr) {
    printf("%s\n", error.what());
    return kExitOk;
  }
  if (dynamic_cast<const CLI::Success*>(&error) != nullptr) {
    fputs(packer.help().c_str(), stdout);
    return kExitOk;
  }
  const CLI::App* command = chosen_command(packer);
  std::string help = command != nullptr ? "packer " + command->get_name() + " --help" : "packer --help";
  fprintf(stderr, "packer: %s%s (see '%s')\n",
          command != nullptr ? (command->get_name() + ": ").c_str() : "",
          plain_message(error, packer, command).c_str(), help.c_str());
  bool bad_value = dynamic_cast<const CLI::ValidationError*>(&error) != nullptr ||
                   dynamic_cast<const CLI::ConversionError*>(&error) != nullptr;
  return bad_value ? kExitBadValue : kExitUsage;
}

std::string check_whole_number(const std::string& text, int low, int high) {
  char* end = nullptr;
  errno = 0;
  long value = strtol(text.c_str(), &end, 10);
  if (text.empty() || end != text.c_str() + text.size() || errno != 0 || value < low || value > high)
    return "takes a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
           ", not '" + text + "'";
  return "";
}

// Every core the machine has; 1 when it cannot tell.
int all_cores() {
  unsigned cores = std::thread::hardware_concurrency();
  if (cores == 0) return 1;
  return cores > unsigned(kMaxThreads) ? kMaxThreads : static_cast<int>(cores);
}

CLI::Validator whole_number(int low, int high) {
  return CLI::Validator(
      [low, high](std::string& text) { return check_whole_number(text, low, high); },
      std::to_string(low) + ".." + std::to_string(high), "whole number");
}

void declare_block_options(CLI::App* command, BlockOptions* options, int max_window_log) {
  command->add_option("--level", options->level,
                      "compression level, 1 (fastest) to 22 (smallest); unpacking is about as "
                      "fast at every level")
      ->check(whole_number(1, 22))
      ->type_name("N")
      ->capture_default_str();
  command->add_option("--window-log", options->window_log,
                      "the decoder's window, 2^N bytes. The running program keeps its decoder, "
                      "and so this much memory, for its whole life: a larger window can make a "
                      "large payload with repeated content smaller, at that cost. A payload "
                      "smaller than the window needs only its own size.")
      ->check(whole_number(kMinWindowLog, max_window_log))
      ->type_name("N")
      ->capture_default_str();
  command->add_flag_callback(
      "--no-content-size", [options] { options->declare_content_size = false; },
      "leave the payload's size out of the frame; the window is then never smaller than "
      "--window-log asks");
  command->add_flag_callback(
      "--checksum", [options] { options->checksum = true; },
      "store a checksum of the payload, verified while unpacking (the default)");
  command->add_flag_callback(
      "--no-checksum", [options] { options->checksum = false; }, "store no checksum");
  options->threads = all_cores();
  command->add_option("--threads", options->threads,
                      "compression threads; default: every core. The output is the same bytes "
                      "whatever N.")
      ->check(whole_number(1, kMaxThreads))
      ->type_name("N");
}

void declare_executable_options(CLI::App* command, ExecutableOptions* options) {
  command->add_option("--icon", options->resources.icon,
                      "the executable's icon instead of the default one")
      ->type_name("FILE.ico");
  command->add_flag("--console", options->console,
                    "a console program: it shares the console of its caller, which waits for "
                    "it; default: a GUI program");
  command->add_option("--uac", options->resources.execution_level,
                      "the execution level its manifest asks for: requireAdministrator "
                      "(default), highestAvailable or asInvoker")
      ->check(CLI::Validator(
          [](std::string& text) {
            std::string level, error;
            return parse_uac_level(text, &level, &error) ? std::string() : error;
          },
          "LEVEL", "execution level"))
      ->type_name("LEVEL");
  command
      ->add_option_function<std::vector<std::string>>(
          "--version-info",
          [options](const std::vector<std::string>& texts) {
            auto& entries = options->resources.version_info;
            for (const std::string& text : texts) {
              std::pair<std::string, std::string> entry;
              std::string error;
              parse_version_entry(text, &entry, &error);
              // A key given again replaces its earlier value.
              for (auto it = entries.begin(); it != entries.end(); ++it) {
                if (it->first == entry.first) {
                  entries.erase(it);
                  break;
                }
              }
              entries.push_back(entry);
            }
          },
          "a version resource (the file's properties), one key at a time, repeatable: "
          "FileVersion, ProductVersion, ProductName, CompanyName, FileDescription, "
          "LegalCopyright, OriginalFilename, InternalName. FileVersion and ProductVersion take "
          "up to four numbers, like 1.2.3.4. Without it there is no version resource.")
      ->check(CLI::Validator(
          [](std::string& text) {
            std::pair<std::string, std::string> entry;
            std::string error;
            return parse_version_entry(text, &entry, &error) ? std::string() : error;
          },
          "KEY=VALUE", "version entry"))
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->type_name("KEY=VALUE");
}
