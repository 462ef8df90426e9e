// What tests of the clean-up observe beyond its effects on disk.
#pragma once

// How many deletion walks of the target directory have been made since the
// process started.
long target_deletion_requests();
