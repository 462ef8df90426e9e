// Writes each record of the attached data below the target directory.
#pragma once

// Creates target_directory, which must not exist yet, readable and writable
// only by the current user, SYSTEM and Administrators; an existing directory
// or any failure ends the process with status 2.
void create_target_directory();
// Makes the next extract_record call create_target_directory first, once,
// when its file is about to be written.
void create_target_directory_with_first_record();

// Writes the current record to record_path; the reader stands at its size.
// The caller holds the unpacking guard, so that no deletion of the target
// directory runs while the file is written.
void extract_record();
