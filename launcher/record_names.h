// Reading record names from the attached data.
#pragma once

// Reads the next name into record_name, up to its zero unit. A name that
// would not fit ends the process with abort(), as every full buffer does;
// a name that could reach outside the target directory ends it with a
// message and status 2.
void read_record_name();

// Whether name is a plain relative path: no drive or colon, no leading,
// trailing or doubled backslash, no forward slash, no "." or ".." component.
bool record_name_is_safe(const wchar_t* name);
