// PROGRAM, PROGRAM_BASE and PROGRAM_DIR: argument 0 as the runtime split it,
// without ".exe", and without its last component. Each appends its value at
// the end of the output; a value that does not fit aborts.
#pragma once

#include "target/spec_output.h"

void append_program(spec_output* output);
void append_program_base(spec_output* output);
void append_program_directory(spec_output* output);
