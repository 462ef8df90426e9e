// An application library that runs only when helper_library.dll is found.
extern "C" __declspec(dllimport) int helper_value();

extern "C" __declspec(dllexport) int run_code(int, wchar_t**, const wchar_t*) {
  return helper_value();
}
