// The extraction's directory cache, which its tests inspect and drive.
#pragma once

#include <wchar.h>

// Directories known to exist; the home directory is always the first.
enum { KNOWN_DIRECTORIES_CAPACITY = 1024 };
extern wchar_t* known_directories[KNOWN_DIRECTORIES_CAPACITY];
extern int known_directory_count;

// Creates every missing directory above path, remembering each.
void ensure_parent_directories(const wchar_t* path);
// Creates directory unless the table knows it; true when it exists after.
bool create_directory_cached(const wchar_t* directory);
