// The launcher's own entry: decides the role and drives a whole run.
#pragma once

#include <windows.h>

int bootstrap_main(HINSTANCE instance, HINSTANCE previous, wchar_t* command_line, int show);
