// The end of the user's session reaches the launcher, a GUI-subsystem
// program without a console, only as window messages. Wine's wineboot sends
// them to every top-level window, as Windows does at log-off and shutdown,
// and then ends the programs that are still running.
#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "tests/launch/waiting_application.h"
#include "tests/support/process_runner.h"
#include "tests/support/test_support.h"

TEST(SessionEnd, TheEndOfTheSessionStopsTheApplicationAndDeletesTheTree) {
  // The application ignores console events and has no window: only the
  // launcher's clean-up ends it.
  WaitingApplication waiting =
      start_waiting_application(scratch_directory(L"session"), L"ctrl_c=ignore;");
  ASSERT_NE(waiting.application, nullptr);
  // The launcher makes its window on a thread of its own once the child runs.
  Sleep(1000);

  DWORD start = GetTickCount();
  ProgramRun end_session = run_program(L"wineboot.exe --end-session");
  std::cout << "wineboot --end-session took " << GetTickCount() - start << " ms\n";
  EXPECT_EQ(end_session.exit_code, 0u) << end_session.output;
  finish_launch(&waiting.launch, 30000);
  EXPECT_TRUE(application_ends(&waiting, 10000)) << "the application still runs";
  EXPECT_FALSE(waiting.target_directory.empty());
  EXPECT_FALSE(path_exists(waiting.target_directory))
      << "left behind: " << testing::PrintToString(waiting.target_directory);
}
