// What the packer's commands share on their command lines: the program's
// name and version, the footer of every --help, the value checks and the
// options of the attached data block.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "block_writer.h"
#include "executable_output.h"

extern const char kPackerVersion[];

// A subcommand of the packer: summary is its line in the packer's --help;
// details and the exit codes close its own --help, which has --version too.
CLI::App* add_packer_subcommand(CLI::App* packer, const char* name, const char* summary,
                                const char* details);

// Sets the help footer and --version of the packer itself.
void describe_packer(CLI::App* packer);

// The exit status of a refused command line, after its one-line message
// (or the help or the version) went out.
int report_parse_error(const CLI::App& packer, const CLI::ParseError& error);

// Empty when text is a decimal whole number from low to high, else why not.
std::string check_whole_number(const std::string& text, int low, int high);
// A check of the same, for an option's value.
CLI::Validator whole_number(int low, int high);

// --level, --window-log (10 to max_window_log), --no-content-size,
// --checksum, --no-checksum and --threads (default: every core), filling
// options.
void declare_block_options(CLI::App* command, BlockOptions* options, int max_window_log);

// --console, --uac LEVEL, --icon FILE.ico and --version-info KEY=VALUE
// (repeatable), the options of the executable that pack and wrap write.
void declare_executable_options(CLI::App* command, ExecutableOptions* options);
