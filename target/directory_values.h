// TEMP, HOME and CACHE_DIR: directories the platform reports, asked anew at
// every expansion. Each appends its value at the end of the output and gives
// false when the platform cannot tell it, which the expansion reports.
#pragma once

#include "target/spec_output.h"

bool append_temp_directory(spec_output* output);
bool append_profile_directory(spec_output* output);
bool append_local_app_data_directory(spec_output* output);
