// What tests of the clean-up observe beyond its effects on disk.
#pragma once

// How many deletion walks of the target directory have been made since the
// process started.
long target_deletion_requests();

// Clears the mark that a console event has begun the clean-up, so that a
// test which raised one leaves the process as it found it.
void forget_console_event();
