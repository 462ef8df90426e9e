// Reading record names from the attached data.
#pragma once

#include "attached/block_format.h"

// The name of the record being read, with its terminator.
extern wchar_t record_name[RECORD_NAME_CAPACITY];

// Reads the next name into record_name, up to its zero unit. A name longer
// than record_name holds is damaged data and ends the process with the
// decode message; a name that could reach outside the target directory, or
// that Windows would not store as given, ends it with a message naming it.
// Both end with status 2.
void read_record_name();

// Whether name is a plain relative path of components that Windows stores
// as given: no drive or colon, no leading, trailing or doubled backslash, no
// forward slash, no "." or ".." component, no forbidden or control
// character, no device name and no trailing dot or blank.
bool record_name_is_safe(const wchar_t* name);
