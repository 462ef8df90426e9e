// An application library that needs two DLLs besides the system's: one
// imported at load time, one delay-loaded. The packer must name both when
// the payload lacks them.
extern "C" int dependency_value();
extern "C" int delayed_value();

extern "C" __declspec(dllexport) int run_code(int, wchar_t**, const wchar_t*) {
  return dependency_value() + delayed_value();
}
