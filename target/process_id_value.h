// PID: the extracting parent's process id, appended at the end of the output.
#pragma once

#include "target/spec_output.h"

void append_process_id(spec_output* output);
