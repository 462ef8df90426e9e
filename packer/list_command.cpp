// packer list OUT.exe: the records a built executable carries, with totals.
#include <inttypes.h>
#include <stdio.h>

#include <string>

#include "attached_listing.h"
#include "commands.h"
#include "utf16.h"

int command_list(int argc, char** argv) {
  if (argc != 1) {
    print_usage(false);
    return kExitUsage;
  }
  AttachedListing listing;
  std::string error;
  if (!read_attached_listing(argv[0], &listing, &error)) {
    fprintf(stderr, "packer: %s\n", error.c_str());
    return kExitFailed;
  }
  uint64_t total = 0;
  printf("%14s  %s\n", "SIZE", "NAME");
  for (const ListedRecord& record : listing.records) {
    printf("%14" PRIu64 "  %s\n", record.size, utf16_to_utf8(record.name).c_str());
    total += record.size;
  }
  printf("%zu files, %" PRIu64 " bytes; attached data %" PRIu64
         " bytes, decoder window %" PRIu64 " bytes\n",
         listing.records.size(), total, listing.block_bytes, listing.window_bytes);
  return kExitOk;
}
