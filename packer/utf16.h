// UTF-8 (host file names, command line) to UTF-16 (record names) and back.
#pragma once

#include <string>

// False when text is not well-formed UTF-8.
bool utf8_to_utf16(const std::string& text, std::u16string* out);
// Unpaired surrogates, which a name read from a block may hold, become U+FFFD.
std::string utf16_to_utf8(const std::u16string& text);
