// Which role a run plays: the loading child of a running launch, or the
// extracting parent of a launch of its own.
#pragma once

// True when VELDOR_ONEFILE_PARENT names a live ancestor of this process
// that runs this same executable file; anything else, however malformed,
// makes the process the extracting parent.
bool is_loading_child();

// Parses a whole decimal text as wcstol does (leading blanks and a sign
// allowed); false on overflow, no digits or trailing characters.
bool parse_decimal_wide(const wchar_t* text, long* value);
