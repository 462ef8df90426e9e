// A plain program for tests that need a process to watch: sleeper MS CODE
// sleeps MS milliseconds and ends with CODE. It handles no console event, so
// the system's default handling shows in its exit code.
#include <windows.h>

#include <stdlib.h>

int wmain(int argc, wchar_t** argv) {
  Sleep(argc > 1 ? wcstoul(argv[1], nullptr, 0) : 0);
  return argc > 2 ? static_cast<int>(wcstoul(argv[2], nullptr, 0)) : 0;
}
