// Which components of a record name Windows stores under exactly that name.
// The launcher joins a record name to its target directory unchanged, so a
// component that the system would read as a device, shorten or refuse makes
// the file land somewhere else than its name says, or nowhere.
//
// One rule for both sides: the packer refuses such names before it writes
// them, and the launcher refuses them again in attached data that was made
// or damaged by other means. The two are built by different compilers for
// different systems (UTF-16 units are wchar_t on Windows, char16_t on the
// host), so the rule lives here, in a header, over either unit type.
#pragma once

#include <stddef.h>

enum record_component_fault {
  COMPONENT_STORABLE,
  COMPONENT_EMPTY,
  // "." and ".." name the directory itself or its parent, never a file.
  COMPONENT_DOT_OR_DOT_DOT,
  // Units 1 to 31: Windows forbids them in names.
  COMPONENT_CONTROL_CHARACTER,
  // One of < > : " / \ | ? *, which Windows forbids in names.
  COMPONENT_FORBIDDEN_CHARACTER,
  // Windows drops a trailing dot or blank and stores a shorter name.
  COMPONENT_TRAILING_DOT_OR_BLANK,
  // Windows opens the device instead of a file, whatever the extension.
  COMPONENT_DEVICE_NAME,
};

namespace record_name_rule_detail {

// The device names as UTF-16 units; 0xB9, 0xB2 and 0xB3 are the superscript
// digits one to three, which Windows also takes after COM and LPT.
const unsigned short DEVICE_NAMES[][5] = {
    {'C', 'O', 'N'},       {'P', 'R', 'N'},       {'A', 'U', 'X'},       {'N', 'U', 'L'},
    {'C', 'O', 'M', '0'},  {'C', 'O', 'M', '1'},  {'C', 'O', 'M', '2'},  {'C', 'O', 'M', '3'},
    {'C', 'O', 'M', '4'},  {'C', 'O', 'M', '5'},  {'C', 'O', 'M', '6'},  {'C', 'O', 'M', '7'},
    {'C', 'O', 'M', '8'},  {'C', 'O', 'M', '9'},  {'L', 'P', 'T', '0'},  {'L', 'P', 'T', '1'},
    {'L', 'P', 'T', '2'},  {'L', 'P', 'T', '3'},  {'L', 'P', 'T', '4'},  {'L', 'P', 'T', '5'},
    {'L', 'P', 'T', '6'},  {'L', 'P', 'T', '7'},  {'L', 'P', 'T', '8'},  {'L', 'P', 'T', '9'},
    {'C', 'O', 'M', 0xB9}, {'C', 'O', 'M', 0xB2}, {'C', 'O', 'M', 0xB3}, {'L', 'P', 'T', 0xB9},
    {'L', 'P', 'T', 0xB2}, {'L', 'P', 'T', 0xB3},
};

// Device names hold no letters beyond ASCII, so folding ASCII suffices.
inline unsigned fold_ascii(unsigned unit) {
  return unit >= 'a' && unit <= 'z' ? unit - 'a' + 'A' : unit;
}

// Windows reads "NUL.txt" and "nul .log" as the device too: what counts is
// the part before the first dot, without its trailing blanks.
template <typename Unit>
bool is_device_name(const Unit* component, size_t length) {
  size_t stem = 0;
  while (stem < length && component[stem] != '.') ++stem;
  while (stem > 0 && component[stem - 1] == ' ') --stem;
  for (const unsigned short* device : DEVICE_NAMES) {
    size_t i = 0;
    while (i < stem && device[i] != 0 &&
           fold_ascii(static_cast<unsigned>(component[i])) == device[i]) {
      ++i;
    }
    if (i == stem && device[i] == 0) return true;
  }
  return false;
}

inline bool is_forbidden_character(unsigned unit) {
  for (const char* c = "<>:\"/\\|?*"; *c != '\0'; ++c) {
    if (unit == static_cast<unsigned>(*c)) return true;
  }
  return false;
}

}  // namespace record_name_rule_detail

// Checks one component of length units (no separator in it) and gives the
// first fault, in the order of the enumeration. For a character fault, *at
// receives the index of the offending unit.
template <typename Unit>
record_component_fault check_record_component(const Unit* component, size_t length, size_t* at) {
  using namespace record_name_rule_detail;
  if (length == 0) return COMPONENT_EMPTY;
  if (component[0] == '.' && (length == 1 || (length == 2 && component[1] == '.'))) {
    return COMPONENT_DOT_OR_DOT_DOT;
  }
  for (size_t i = 0; i < length; ++i) {
    unsigned unit = static_cast<unsigned>(component[i]);
    if (unit < 32 || is_forbidden_character(unit)) {
      *at = i;
      return unit < 32 ? COMPONENT_CONTROL_CHARACTER : COMPONENT_FORBIDDEN_CHARACTER;
    }
  }
  if (component[length - 1] == '.' || component[length - 1] == ' ') {
    return COMPONENT_TRAILING_DOT_OR_BLANK;
  }
  if (is_device_name(component, length)) return COMPONENT_DEVICE_NAME;
  return COMPONENT_STORABLE;
}

// Whether every component of a whole name of length units, between its
// backslashes, is one that Windows stores as given; an empty name, or a
// leading, trailing or doubled backslash, has an empty component.
template <typename Unit>
bool is_storable_record_name(const Unit* name, size_t length) {
  size_t start = 0;
  for (size_t i = 0; i <= length; ++i) {
    if (i < length && name[i] != '\\') continue;
    size_t at = 0;
    if (check_record_component(name + start, i - start, &at) != COMPONENT_STORABLE) return false;
    start = i + 1;
  }
  return true;
}
