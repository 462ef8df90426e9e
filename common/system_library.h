// Functions of the system's own libraries that only one role of a run calls.
// The executable does not import them: the loader would then map the whole
// library, and everything it depends on, into every process, and the loading
// child would pay for libraries that it never calls before the application
// runs. They are looked up at their first use instead.
#pragma once

// The address of function_name in the system library library_name, which is
// loaded from the system directory (never from the search path) unless the
// process holds it already. Null when the library or the function is missing,
// with the reason in GetLastError(). The library stays loaded for the rest of
// the process. A caller converts the result to the function's own type, e.g.
// reinterpret_cast<decltype(&CommandLineToArgvW)>(...).
void* system_function(const wchar_t* library_name, const char* function_name);
