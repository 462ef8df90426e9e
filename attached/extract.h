// Writes each record of the attached data below the target directory.
#pragma once

#include <wchar.h>

// Directories known to exist; the home directory is always the first.
enum { KNOWN_DIRECTORIES_CAPACITY = 1024 };
extern wchar_t* known_directories[KNOWN_DIRECTORIES_CAPACITY];
extern int known_directory_count;

// Creates target_directory, which must not exist yet, readable and writable
// only by the current user, SYSTEM and Administrators; an existing directory
// or any failure ends the process with status 2.
void create_target_directory();
// Makes the next extract_record call create_target_directory first, once,
// when its file is about to be written.
void create_target_directory_with_first_record();

// Writes the current record to record_path; the reader stands at its size.
void extract_record();
void ensure_parent_directories(const wchar_t* path);
bool create_directory_cached(const wchar_t* directory);
