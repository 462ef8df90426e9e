// What the clean-up's tests observe beyond its interface.
#pragma once

// How many deletion requests have been made since the process started.
long target_deletion_requests();

// Clears the mark that a console event has begun the clean-up, so that a
// test which raised one leaves the process as it found it.
void forget_console_event();
