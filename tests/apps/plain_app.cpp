// A plain program of the same runtime as the launcher, which hands the
// arguments that its runtime split from its command line to the test
// application: started by the same command line as a launcher, it shows what
// any program receives from it. plain_app's own directory stands for the
// library's, so the report lists the few files there.
#include <windows.h>

extern "C" __declspec(dllimport) int run_code(int argc, wchar_t** argv,
                                              const wchar_t* library_path);

int wmain(int argc, wchar_t** argv) {
  wchar_t path[MAX_PATH * 4];
  GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  return run_code(argc, argv, path);
}
