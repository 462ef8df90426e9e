// Record names as Windows will see them: the launcher joins each name to its
// target directory unchanged, so a name must be a plain relative path that
// Windows stores as the same file the host had.
#pragma once

#include <string>
#include <vector>

#include "attached/block_format.h"

// Longest name the launcher's record name buffer takes, in UTF-16 units.
const size_t kMaxRecordNameUnits = ATTACHED_MAX_NAME_UNITS;

// Builds the record name of a host path relative to the packed directory
// (components separated by '/', which become backslashes). On refusal
// returns false with the reason in *problem, e.g. "the component '..' ...".
bool make_record_name(const std::string& relative_path, std::u16string* name,
                      std::string* problem);

// The launcher's own test of a name read from the attached data, which a
// damaged or hostile block may fill with anything: whether every component
// between backslashes is one that Windows stores as given (no empty, "." or
// ".." component, no forbidden or control character, so no drive and no
// forward slash, no trailing dot or blank, no device name).
bool record_name_is_safe(const std::u16string& name);

// Whether Windows takes a file name for a device, by the launcher's rule:
// "CON", also "NUL.txt" and "nul .log", since what counts is the part before
// the first dot, without trailing blanks.
bool is_device_name(const std::string& component);

// The name that Windows compares file names by: each unit in upper case.
std::u16string fold_letter_case(const std::u16string& name);

// The first pair of names, by index, that Windows would take for one file
// or for a file and a directory of the same name: names that differ only in
// letter case, or a name that is, up to letter case, a directory of another.
// False when there is none.
bool find_letter_case_clash(const std::vector<std::u16string>& names, size_t* first,
                            size_t* second);
