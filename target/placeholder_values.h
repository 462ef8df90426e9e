// The values of the placeholders, each appended at the end of the output.
// Those that return a boolean give false for a failure that the expansion
// reports to its caller; every other failure aborts where it is found.
#pragma once

#include "target/spec_output.h"

bool append_temp_directory(spec_output* output);
bool append_profile_directory(spec_output* output);
bool append_local_app_data_directory(spec_output* output);

void append_program(spec_output* output);
bool append_program_base(spec_output* output);
bool append_program_directory(spec_output* output);

void append_process_id(spec_output* output);

void append_random_text(spec_output* output);
void append_time_us(spec_output* output);
void append_time(spec_output* output);

// Receives a folder path or a formatted number before it is appended. Folder
// queries write at most MAX_PATH units; 1024 leaves room for any number too.
enum { SCRATCH_VALUE_CAPACITY = 1024 };
extern wchar_t scratch_value[SCRATCH_VALUE_CAPACITY];

// Puts a formatted number (ASCII) into scratch_value as wide text.
const wchar_t* decimal_text_as_wide(const char* text);
