// Stand-in until the flow lands.
#include "launcher/bootstrap.h"

int bootstrap_main(HINSTANCE, HINSTANCE, wchar_t*, int) { return 0; }
bool parse_decimal_wide(const wchar_t*, long*) { return false; }
