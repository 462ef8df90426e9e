// Brings an executable's path to one form, so that two names of one file
// compare equal: the final path through an open handle, without the "\\?\"
// prefix; short_directory.h then gives the directory part its short form.
#pragma once

#include <stddef.h>
#include <wchar.h>

// Leaves the path as it is when the file cannot be opened.
void canonicalize_path(wchar_t* path, size_t capacity);

// A final path comes back as "\\?\C:\..." or "\\?\UNC\server\...": gives the
// spelling without the prefix that other paths use. Other "\\?\" paths, such
// as volume names, have no such spelling and keep it.
void strip_final_path_prefix(wchar_t* path);
