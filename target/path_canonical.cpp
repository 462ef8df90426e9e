// Stand-in until canonicalisation lands: paths stay as given.
#include "target/path_canonical.h"

void canonicalize_path(wchar_t*, size_t) {}
void shorten_directory_part(wchar_t*, size_t) {}
