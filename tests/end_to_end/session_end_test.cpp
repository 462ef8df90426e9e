// The end of the user's session reaches the launcher, a GUI-subsystem
// program without a console, only as window messages. Wine's wineboot sends
// them to every top-level window, as Windows does at log-off and shutdown,
// and then ends the programs that are still running.
#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "tests/end_to_end/launch_driver.h"
#include "tests/support/process_runner.h"

TEST(SessionEnd, TheEndOfTheSessionStopsTheApplicationAndDeletesTheTree) {
  std::wstring scratch = scratch_directory(L"session");
  std::wstring report_path = scratch + L"\\report";
  std::wstring ready_path = scratch + L"\\ready";
  // The application ignores console events and has no window: only the
  // launcher's clean-up ends it.
  Launch launch = start_launcher(launcher_path(L"app_launcher"), L"tool",
                                 L"report=" + report_path + L";ctrl_c=ignore;ready=" + ready_path +
                                     L";sleep=60000;exit=77");
  ASSERT_TRUE(wait_for_file(ready_path, 30000)) << "the application did not start";
  Report report = read_report(report_path);
  std::wstring directory = reported_target_directory(report);
  DWORD child_id = wcstoul(field(report, L"pid").c_str(), nullptr, 10);
  HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, child_id);
  ASSERT_NE(child, nullptr) << "cannot open the application, error " << GetLastError();
  // The launcher makes its window on a thread of its own once the child runs.
  Sleep(1000);

  DWORD start = GetTickCount();
  ProgramRun end_session = run_program(L"wineboot.exe --end-session");
  std::cout << "wineboot --end-session took " << GetTickCount() - start << " ms\n";
  EXPECT_EQ(end_session.exit_code, 0u) << end_session.output;
  finish_launch(&launch, 30000);
  EXPECT_EQ(WaitForSingleObject(child, 10000), WAIT_OBJECT_0) << "the application still runs";
  CloseHandle(child);
  EXPECT_FALSE(directory.empty());
  EXPECT_FALSE(path_exists(directory)) << "left behind: " << testing::PrintToString(directory);
}
