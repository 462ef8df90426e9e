// Console events reach the launcher only through a console that it shares
// with its starter; this program makes one of its own and sends Ctrl+C to
// everything attached to it, swallowing the event itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "tests/support/launch_driver.h"
#include "tests/support/test_support.h"

namespace {

BOOL WINAPI swallow_console_event(DWORD) { return TRUE; }

// A handler rather than the ignore flag: the flag would pass on to every
// program started from here, and the launcher would never see the event.
class ConsoleOfItsOwn : public testing::Environment {
 public:
  void SetUp() override {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    FreeConsole();
    ASSERT_TRUE(AllocConsole()) << GetLastError();
    SetStdHandle(STD_OUTPUT_HANDLE, output);
    SetStdHandle(STD_ERROR_HANDLE, error);
    SetConsoleCtrlHandler(swallow_console_event, TRUE);
  }
};
testing::Environment* const console = testing::AddGlobalTestEnvironment(new ConsoleOfItsOwn);

// How any program that leaves Ctrl+C to the system ends.
DWORD default_ctrl_c_exit_code() {
  static DWORD code = [] {
    std::wstring sleeper = test_program_directory() + L"\\..\\apps\\sleeper.exe";
    Launch launch = start_launcher(sleeper, L"sleeper 30000 5", L"");
    Sleep(500);
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    DWORD exit_code = finish_launch(&launch, 10000).exit_code;
    std::cout << "a program that leaves Ctrl+C to the system ends with " << exit_code << "\n";
    return exit_code;
  }();
  return code;
}

struct Interrupted {
  LaunchResult launcher;
  DWORD child_exit_code;
  Report report;
};

// Starts the launcher, waits until the application runs, then sends Ctrl+C.
Interrupted interrupt_launch(const wchar_t* tag, const std::wstring& ctrl_c_actions) {
  std::wstring scratch = scratch_directory(tag);
  std::wstring report_path = scratch + L"\\report";
  std::wstring ready_path = scratch + L"\\ready";
  Launch launch = start_launcher(launcher_path(L"app_launcher"), L"tool",
                                 L"report=" + report_path + L";" + ctrl_c_actions + L"ready=" +
                                     ready_path + L";sleep=60000;exit=77");
  Interrupted interrupted = {};
  EXPECT_TRUE(wait_for_file(ready_path, 30000)) << "the application did not start";
  interrupted.report = read_report(report_path);
  DWORD child_id = wcstoul(field(interrupted.report, L"pid").c_str(), nullptr, 10);
  HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, child_id);
  EXPECT_NE(child, nullptr) << "cannot open the child, error " << GetLastError();
  EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
  interrupted.launcher = finish_launch(&launch, 30000);
  interrupted.child_exit_code = 12345;
  if (child != nullptr) {
    EXPECT_EQ(WaitForSingleObject(child, 5000), WAIT_OBJECT_0);
    GetExitCodeProcess(child, &interrupted.child_exit_code);
    CloseHandle(child);
  }
  return interrupted;
}

void expect_cleaned_up(const Interrupted& interrupted) {
  std::wstring directory = reported_target_directory(interrupted.report);
  EXPECT_FALSE(directory.empty());
  EXPECT_FALSE(path_exists(directory)) << "left behind: " << testing::PrintToString(directory);
  EXPECT_EQ(leftover_target_directories(interrupted.launcher.process_id), 0);
}

}  // namespace

TEST(ConsoleEvent, ChildThatEndsWithinTheGraceIsNotTerminated) {
  Interrupted interrupted = interrupt_launch(L"finish", L"ctrl_c=finish;");
  EXPECT_EQ(interrupted.child_exit_code, 77u);
  EXPECT_LT(interrupted.launcher.elapsed_ms, 4500u);
  // The stopped run ends as Ctrl+C ends any program, not with the child's 77.
  EXPECT_EQ(interrupted.launcher.exit_code, default_ctrl_c_exit_code());
  expect_cleaned_up(interrupted);
}

TEST(ConsoleEvent, ChildThatIgnoresTheEventIsTerminatedWithZeroAfterTheGrace) {
  Interrupted interrupted = interrupt_launch(L"ignore", L"ctrl_c=ignore;");
  EXPECT_EQ(interrupted.child_exit_code, 0u);
  EXPECT_GE(interrupted.launcher.elapsed_ms, 5000u);
  EXPECT_LT(interrupted.launcher.elapsed_ms, 15000u);
  EXPECT_EQ(interrupted.launcher.exit_code, default_ctrl_c_exit_code());
  expect_cleaned_up(interrupted);
  std::cout << "launch stopped after " << interrupted.launcher.elapsed_ms << " ms\n";
}

TEST(ConsoleEvent, ChildThatLeavesTheEventToTheSystemEndsLikeAnyProgram) {
  Interrupted interrupted = interrupt_launch(L"default", L"");
  EXPECT_EQ(interrupted.child_exit_code, default_ctrl_c_exit_code());
  EXPECT_LT(interrupted.launcher.elapsed_ms, 4500u);
  EXPECT_EQ(interrupted.launcher.exit_code, default_ctrl_c_exit_code());
  expect_cleaned_up(interrupted);
}

TEST(ConsoleEvent, EventDuringUnpackingLeavesNoFileBehind) {
  Launch launch = start_launcher(launcher_path(L"many_files_launcher"), L"tool", L"exit=5");
  // Wait until unpacking is under way: the target directory exists.
  DWORD waited = 0;
  while (leftover_target_directories(launch.process_id) == 0 && waited < 20000) {
    Sleep(5);
    waited += 5;
  }
  ASSERT_GT(leftover_target_directories(launch.process_id), 0) << "unpacking never started";
  EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
  LaunchResult result = finish_launch(&launch, 30000);
  EXPECT_EQ(result.exit_code, default_ctrl_c_exit_code());
  // The main thread stops writing once the handler has begun: nothing it
  // wrote after the deletion can remain.
  EXPECT_EQ(leftover_target_directories(result.process_id), 0);
}
