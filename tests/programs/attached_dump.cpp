// A stand-in launcher for early checks: reads the attached data linked into
// it and prints every record's name and size.
#include <stdio.h>
#include <stdint.h>

#include "attached/attached_format.h"
#include "attached/attached_reader.h"
#include "launcher/error_reporting.h"

int wmain() {
  if (!has_attached_magic(attached_data)) fail_with_message(MESSAGE_NO_ATTACHED_HEADER);
  open_attached_reader();
  static wchar_t name[RECORD_NAME_CAPACITY];
  static unsigned char piece[32768];
  for (;;) {
    size_t length = 0;
    for (;;) {
      uint16_t unit = 0;
      read_attached_bytes(&unit, 2);
      if (unit == 0) break;
      if (length + 1 >= RECORD_NAME_CAPACITY) abort();
      name[length++] = unit;
    }
    name[length] = 0;
    if (length == 0) break;
    unsigned char field[8];
    read_attached_bytes(field, 8);
    uint64_t size = 0;
    for (int i = 7; i >= 0; --i) size = size << 8 | field[i];
    for (uint64_t left = size; left > 0;) {
      uint64_t n = left < sizeof piece ? left : sizeof piece;
      read_attached_bytes(piece, n);
      left -= n;
    }
    printf("%ls %llu\n", name, static_cast<unsigned long long>(size));
  }
  close_attached_reader();
  printf("block of %llu bytes\n", static_cast<unsigned long long>(attached_data_length));
  return 0;
}
