// packer list [--json] OUT.exe: the records a built executable carries,
// with totals, as a table for people or as one JSON document for scripts.
#include <inttypes.h>
#include <stdio.h>

#include <memory>
#include <string>

#include "attached_listing.h"
#include "command_line.h"
#include "commands.h"
#include "utf16.h"

namespace {

struct ListArguments {
  std::string executable;
  bool json = false;
};

// A JSON string of a record name. Every unit outside printable ASCII is
// written as a \u escape of its UTF-16 unit, so the document is ASCII and
// a name that is not valid UTF-16, which damaged data may hold, comes out
// unit for unit as well.
std::string json_string(const std::u16string& text) {
  std::string out = "\"";
  for (char16_t unit : text) {
    if (unit == u'"' || unit == u'\\') {
      out += '\\';
      out += static_cast<char>(unit);
    } else if (unit >= 0x20 && unit < 0x7F) {
      out += static_cast<char>(unit);
    } else {
      char escape[8];
      snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
      out += escape;
    }
  }
  return out + "\"";
}

uint64_t total_size(const AttachedListing& listing) {
  uint64_t total = 0;
  for (const ListedRecord& record : listing.records) total += record.size;
  return total;
}

void print_table(const AttachedListing& listing) {
  printf("%14s  %s\n", "SIZE", "NAME");
  for (const ListedRecord& record : listing.records)
    printf("%14" PRIu64 "  %s\n", record.size, utf16_to_utf8(record.name).c_str());
  printf("%zu %s, %" PRIu64 " bytes; attached data %" PRIu64 " bytes, decoder window %" PRIu64
         " bytes%s\n",
         listing.records.size(), listing.records.size() == 1 ? "file" : "files",
         total_size(listing), listing.block_bytes, listing.window_bytes,
         listing.checksum ? ", checksum" : "");
}

void print_json(const AttachedListing& listing) {
  printf("{\n  \"records\": [");
  for (size_t i = 0; i < listing.records.size(); ++i) {
    printf("%s\n    {\"name\": %s, \"size\": %" PRIu64 "}", i ? "," : "",
           json_string(listing.records[i].name).c_str(), listing.records[i].size);
  }
  printf("\n  ],\n");
  printf("  \"files\": %zu,\n", listing.records.size());
  printf("  \"bytes\": %" PRIu64 ",\n", total_size(listing));
  printf("  \"attached_data_bytes\": %" PRIu64 ",\n", listing.block_bytes);
  printf("  \"window_bytes\": %" PRIu64 ",\n", listing.window_bytes);
  printf("  \"checksum\": %s\n}\n", listing.checksum ? "true" : "false");
}

int run_list(const ListArguments& args) {
  AttachedListing listing;
  std::string error;
  if (!read_attached_listing(args.executable, &listing, &error)) {
    fprintf(stderr, "packer: %s\n", error.c_str());
    return kExitFailed;
  }
  if (args.json) {
    print_json(listing);
  } else {
    print_table(listing);
  }
  return kExitOk;
}

}  // namespace

Command add_list_command(CLI::App* packer) {
  CLI::App* command = add_packer_subcommand(
      packer, "list", "show the files that a built executable carries",
      "Prints the files that OUT.exe carries, with their sizes, the totals, the size of the "
      "attached data, the decoder window it asks for and whether it stores a checksum; fails "
      "on damaged attached data. --json prints one document for scripts:\n"
      "  {\"records\": [{\"name\": \"app.dll\", \"size\": 123}, ...], \"files\": 1,\n"
      "   \"bytes\": 123, \"attached_data_bytes\": 96, \"window_bytes\": 1024,\n"
      "   \"checksum\": true}\n"
      "Names are backslash-separated; the document is ASCII, other characters written as "
      "\\u escapes of their UTF-16 units.");
  auto args = std::make_shared<ListArguments>();
  command->add_option("OUT.exe", args->executable, "the executable to read")->required();
  command->add_flag("--json", args->json,
                    "one JSON document instead of the table");
  return {command, [args] { return run_list(*args); }};
}
