// The DLLs that files of a payload import but that neither the payload nor
// Windows provides. Each one stops the application at its first start, with
// a loader error that names no file; the packer names them instead.
#pragma once

#include <string>
#include <vector>

#include "block_writer.h"

// One line for each DLL that a Windows image among the records imports, at
// load time or delay-loaded, and that is neither a record (by file name, in
// any letter case, in any folder) nor part of Windows. Each line names the
// importing file by its host path, and the DLL. Files that are no Windows
// image are passed over.
std::vector<std::string> find_missing_dependencies(const std::vector<BlockRecord>& records);
