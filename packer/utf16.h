// UTF-8 (host file names, command line) to UTF-16 (record names).
#pragma once

#include <string>

// False when text is not well-formed UTF-8.
bool utf8_to_utf16(const std::string& text, std::u16string* out);
