// The GUI entry that the runtime's start-up calls.
#include <stdio.h>
#include <windows.h>

#include "launcher/bootstrap.h"

// The runtime splits the command line without wildcard expansion.
extern "C" int _dowildcard = 0;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, wchar_t* command_line, int show) {
  // A line on standard error must be out before abort() can end the process.
  setvbuf(stderr, nullptr, _IONBF, 0);
  return bootstrap_main(instance, previous, command_line, show);
}
