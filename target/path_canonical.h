// Brings an executable's path to one form, so that two names of one file
// compare equal: the final path through an open handle, without the \\?\
// prefix, with the directory part in its short form.
#pragma once

#include <stddef.h>
#include <wchar.h>

void canonicalize_path(wchar_t* path, size_t capacity);
void shorten_directory_part(wchar_t* path, size_t capacity);
