// Environment access by ASCII variable name.
#pragma once

#include <wchar.h>

// A heap copy of the variable's value (the caller owns it), or null when the
// variable is missing, empty or longer than an environment value may be.
wchar_t* get_env_copy(const char* name);

// Sets the variable to value, or removes it when value is null. The result is
// not examined: every caller goes on the same way whether it worked or not.
void set_env_ascii_name(const char* name, const wchar_t* value);
