// The DLLs that Windows itself provides, which a payload need not carry.
#pragma once

#include <string>

// Whether name, a file name in any letter case, is a library of a clean
// Windows 10 System32 or an API set ("api-ms-win-*", "ext-ms-*"), which
// the loader resolves to a system library.
bool is_windows_dll(const std::string& name);
