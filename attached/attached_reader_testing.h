// What the reader's tests observe beyond its interface.
#pragma once

#include <stdint.h>

// Counts decoder calls since the process started.
uint64_t attached_decoder_calls();
