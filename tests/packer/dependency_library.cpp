// The DLL that the dependent test library imports at load time.
extern "C" __declspec(dllexport) int dependency_value() { return 7; }
