// The one check of the host-side test programs (the packer's rules, run
// natively): a failed expectation is reported and counted, and the program
// ends with a status that says whether any failed.
#pragma once

#include <stdio.h>

#include <string>

inline int& host_check_failures() {
  static int failures = 0;
  return failures;
}

inline void expect(bool condition, const std::string& what) {
  if (!condition) {
    ++host_check_failures();
    fprintf(stderr, "FAILED: %s\n", what.c_str());
  }
}

// main's result: prints "<what>: all passed" when nothing failed.
inline int host_check_result(const char* what) {
  if (host_check_failures() == 0) printf("%s: all passed\n", what);
  return host_check_failures() == 0 ? 0 : 1;
}
