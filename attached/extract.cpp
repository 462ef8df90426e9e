// Stand-in until extraction lands.
#include "attached/extract.h"

wchar_t* known_directories[KNOWN_DIRECTORIES_CAPACITY];
int known_directory_count;

void create_target_directory() {}
void extract_record() {}
void ensure_parent_directories(const wchar_t*) {}
bool create_directory_cached(const wchar_t*) { return true; }
