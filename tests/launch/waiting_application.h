// A launch whose application has started and waits, for tests that end the
// launch from outside while it runs.
#pragma once

#include <windows.h>

#include <string>

#include "tests/support/launch_driver.h"

struct WaitingApplication {
  Launch launch;
  std::wstring target_directory;
  HANDLE application;  // the loading child, opened for SYNCHRONIZE; null on failure
};

// Starts app_launcher with the test application's actions before_wait
// (each ended by ';'), then a wait of a minute, and returns once the
// application runs. The report and ready files go to scratch. Failures are
// recorded in the running test.
WaitingApplication start_waiting_application(const std::wstring& scratch,
                                             const std::wstring& before_wait = L"");

// Whether the application ends within timeout_ms; closes its handle.
bool application_ends(WaitingApplication* waiting, DWORD timeout_ms);
