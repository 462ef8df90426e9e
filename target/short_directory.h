// The second step of a path's one form: the directory part in its short
// form, so that a long and a short spelling of one directory compare equal.
#pragma once

#include <stddef.h>
#include <wchar.h>

// The last component stays as it is; a directory part without a short form
// too.
void shorten_directory_part(wchar_t* path, size_t capacity);
