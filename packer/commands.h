// The packer's subcommands; each takes the arguments after its name and
// returns the process's exit status.
#pragma once

// 0 done, 1 failed (a message on standard error), 2 bad option value,
// 64 bad usage.
enum { kExitOk = 0, kExitFailed = 1, kExitBadValue = 2, kExitUsage = 64 };

int command_block(int argc, char** argv);
int command_pack(int argc, char** argv);
int command_list(int argc, char** argv);
int command_wrap(int argc, char** argv);

void print_usage(bool full);
bool parse_int(const char* text, int low, int high, int* value);
// Compression threads: 1 to the most the packer starts.
bool parse_thread_count(const char* text, int* threads);
