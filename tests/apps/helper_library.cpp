// A library that another application library imports, to show where the
// loader looks for an application library's own dependencies.
extern "C" __declspec(dllexport) int helper_value() { return 42; }
