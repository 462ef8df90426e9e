// RANDOM: 64 random bits as 11 URL-safe base64 characters, computed once
// and pinned in the environment.
#pragma once

#include "target/spec_output.h"

void append_random_text(spec_output* output);
