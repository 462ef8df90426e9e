// The records of one launcher: the application library first, named by its
// file name, then every regular file below the payload directory, named by
// its path relative to it. Files of one directory come one after the other,
// in byte order of their names, before the subdirectories, so that the
// launcher creates each directory once and the same tree always gives the
// same block.
#pragma once

#include <string>
#include <vector>

#include "block_writer.h"

// directory may be empty: then only the library is packed. A file with the
// same identity as skip_path (the output, maybe of an earlier pack) is left
// out, since the pack replaces it; skip_path naming the library is refused.
// On failure returns false with a one-line message naming the offending
// host path in *error.
bool collect_payload(const std::string& library, const std::string& directory,
                     const std::string& skip_path, std::vector<BlockRecord>* records,
                     std::string* error);

// Whether path is an x86-64 DLL that exports run_code; else the reason.
bool check_application_library(const std::string& path, std::string* error);
