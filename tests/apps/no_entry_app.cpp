// A library that loads but exports no run_code.
extern "C" __declspec(dllexport) int run(int, wchar_t**, const wchar_t*) { return 0; }
