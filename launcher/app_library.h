// The loading child's hand-off: loads the application library named by
// app_library_path and returns what its run_code returns.
#pragma once

typedef int (*run_code_function)(int argc, wchar_t** argv, const wchar_t* library_path);

int run_application_library();
