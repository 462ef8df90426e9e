#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/launch_driver.h"
#include "tests/support/scoped_variable.h"
#include "tests/support/test_support.h"

namespace {

std::wstring app_launcher() { return launcher_path(L"app_launcher"); }

}  // namespace

TEST(Launch, ExitCodesPassThroughInFull) {
  std::wstring scratch = scratch_directory(L"exit");
  std::wstring report_path = scratch + L"\\report";
  for (DWORD code : {0u, 1u, 255u, 256u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0xC0000005u}) {
    LaunchResult result = run_launcher(app_launcher(), L"tool",
                                       L"report=" + report_path + L";exit=" + std::to_wstring(code));
    EXPECT_EQ(result.exit_code, code) << result.output;
    expect_target_directory_gone(read_report(report_path), result);
    DeleteFileW(report_path.c_str());
  }
  // A real crash ends the child with its exception code.
  LaunchResult result = run_launcher(app_launcher(), L"tool", L"report=" + report_path + L";crash");
  EXPECT_EQ(result.exit_code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  expect_target_directory_gone(read_report(report_path), result);
}

TEST(Launch, ApplicationRunsInAChildOfTheLauncherWithItsEnvironment) {
  std::wstring scratch = scratch_directory(L"environment");
  std::wstring report_path = scratch + L"\\report";
  LaunchResult result;
  {
    // Left over from an earlier launch: the launcher must not reuse them.
    ScopedVariable parent(L"VELDOR_ONEFILE_PARENT",
                          std::to_wstring(GetCurrentProcessId()).c_str());
    ScopedVariable time_us(L"VELDOR_ONEFILE_TIME_US", L"999999");
    ScopedVariable random(L"VELDOR_ONEFILE_RANDOM", L"stalestale0");
    Launch launch = start_launcher(app_launcher(), L"tool",
                                   L"report=" + report_path + L";say=hello from the app", scratch);
    result = finish_launch(&launch);
  }
  EXPECT_EQ(result.exit_code, 0u);
  // The child writes to the launcher's own standard handles.
  EXPECT_EQ(result.standard_output, "hello from the app\n");
  EXPECT_EQ(result.standard_error, "");
  Report report = read_report(report_path);
  std::wstring launcher_pid = std::to_wstring(result.process_id);
  EXPECT_NE(field(report, L"pid"), launcher_pid);
  EXPECT_EQ(field(report, L"parent_pid"), launcher_pid);
  EXPECT_EQ(field(report, L"process_image"), app_launcher());
  EXPECT_EQ(field(report, L"cwd"), scratch);
  EXPECT_EQ(field(report, L"VELDOR_ONEFILE_PARENT"), launcher_pid);
  EXPECT_EQ(field(report, L"VELDOR_ONEFILE_DIRECTORY"), test_program_directory());
  EXPECT_EQ(field(report, L"VELDOR_ORIGINAL_ARGV0"), L"tool");
  std::wstring time_us = field(report, L"VELDOR_ONEFILE_TIME_US");
  std::wstring random = field(report, L"VELDOR_ONEFILE_RANDOM");
  EXPECT_EQ(time_us.size(), 6u);
  EXPECT_EQ(time_us.find_first_not_of(L"0123456789"), std::wstring::npos) << time_us.c_str();
  EXPECT_EQ(random.size(), 11u);
  EXPECT_EQ(random.find_first_not_of(
                L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
            std::wstring::npos)
      << random.c_str();
  EXPECT_NE(random, L"stalestale0");
  EXPECT_EQ(reported_target_directory(report),
            temporary_directory() + L"\\onefile_" + launcher_pid + L"_" + time_us + L"_" + random);
  EXPECT_EQ(field(report, L"library_path"), reported_target_directory(report) + L"\\app.dll");
  EXPECT_EQ(_wcsicmp(field(report, L"module_path").c_str(), field(report, L"library_path").c_str()),
            0);
  EXPECT_EQ(field(report, L"files"), L"app.dll\ndata\\nested\\deep.bin\ndata\\readme.txt\n");
  expect_target_directory_gone(report, result);
}

// The shell (and, through it, the window libraries) and the security library
// serve only the extracting parent; a child that loaded them would start the
// application later for nothing.
TEST(Launch, ChildReachesTheApplicationWithoutTheParentsLibraries) {
  std::wstring report_path = scratch_directory(L"libraries") + L"\\report";
  LaunchResult result = run_launcher(app_launcher(), L"tool \"an argument\"", L"report=" + report_path);
  EXPECT_EQ(result.exit_code, 0u) << result.output;
  Report report = read_report(report_path);
  EXPECT_EQ(field(report, L"loaded_at_entry"), L"");
  EXPECT_EQ(field(report, L"argv.1"), L"an argument");
  expect_target_directory_gone(report, result);
}

TEST(Launch, LauncherStartsItsOwnFileAgainWhereverItLies) {
  std::wstring scratch = scratch_directory(L"copies");
  std::wstring blanks = scratch + L"\\a dir with blanks";
  CreateDirectoryW(blanks.c_str(), nullptr);
  std::wstring drive = temporary_directory().substr(0, 2);
  struct Case {
    std::wstring directory;  // as the application is told it
    std::wstring copy;
  };
  const Case cases[] = {
      {blanks, blanks + L"\\app launcher.exe"},
      // In the root of a drive the directory is the bare drive.
      {drive, drive + L"\\onefile_root_test_" + std::to_wstring(GetCurrentProcessId()) + L".exe"},
  };
  std::wstring report_path = scratch + L"\\report";
  for (const Case& c : cases) {
    ASSERT_TRUE(CopyFileW(app_launcher().c_str(), c.copy.c_str(), FALSE)) << GetLastError();
    LaunchResult result =
        run_launcher(c.copy, L"\"app launcher\" \"one arg\"", L"report=" + report_path);
    DeleteFileW(c.copy.c_str());
    EXPECT_EQ(result.exit_code, 0u) << result.output;
    Report report = read_report(report_path);
    EXPECT_EQ(field(report, L"argc"), L"2");
    EXPECT_EQ(field(report, L"argv.0"), c.copy);
    EXPECT_EQ(field(report, L"argv.1"), L"one arg");
    EXPECT_EQ(field(report, L"VELDOR_ONEFILE_DIRECTORY"), c.directory);
    expect_target_directory_gone(report, result);
    DeleteFileW(report_path.c_str());
  }
}

TEST(Launch, HandOffFailuresEndTheLaunchWithStatusTwoAndTheirMessage) {
  struct Case {
    const wchar_t* launcher;
    std::string standard_output;
    std::string standard_error;
  };
  const Case cases[] = {
      {L"no_entry_launcher", "Error, DLL entry point not found.\r\n", ""},
      {L"not_a_library_launcher", "",
       "Error, load DLL. ([Error 193] " + system_error_text(ERROR_BAD_EXE_FORMAT) + ")\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.launcher)));
    LaunchResult result = run_launcher(launcher_path(c.launcher), L"tool", L"");
    EXPECT_EQ(result.exit_code, 2u);
    EXPECT_EQ(result.standard_output, c.standard_output);
    EXPECT_EQ(result.standard_error, c.standard_error);
    // The child's failure is an ordinary end for the parent, which cleans up.
    EXPECT_EQ(leftover_target_directories(result.process_id), 0);
  }
}

TEST(Launch, ApplicationLibraryFindsItsOwnLibrariesInTheTargetDirectory) {
  LaunchResult result = run_launcher(launcher_path(L"dependent_launcher"), L"tool", L"");
  EXPECT_EQ(result.exit_code, 42u) << result.output;
  EXPECT_EQ(leftover_target_directories(result.process_id), 0);
}
