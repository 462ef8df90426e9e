// The record loop: takes each record of the attached data from the reader
// and gives it its path below the target directory.
#pragma once

// Reads the next record name and builds record_path from it; false at the
// terminating empty name. The first record's path becomes app_library_path.
bool next_record();

// The extracting parent's loop: writes every record up to the terminator.
// Each file is written under the unpacking guard; once a console event has
// begun the clean-up, no further file is written and the process ends as
// the system would end it.
void unpack_records();
