// The launcher's own entry: decides the role and drives a whole run.
#pragma once

#include <windows.h>

int bootstrap_main(HINSTANCE instance, HINSTANCE previous, wchar_t* command_line, int show);

// Parses a whole decimal text as wcstol does (leading blanks and a sign
// allowed); false on overflow, no digits or trailing characters.
bool parse_decimal_wide(const wchar_t* text, long* value);
