// Stand-in until the child launch lands.
#include "launcher/child_launch.h"

wchar_t child_command_line[CHILD_COMMAND_LINE_CAPACITY];

DWORD launch_child() { return 0; }
void append_quoted_argument(const wchar_t*) {}
