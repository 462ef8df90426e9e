// Which role a started launcher takes, seen from outside: the parent sets
// VELDOR_ONEFILE_PARENT to its own id before it starts the child, so the
// application's view of it tells which process unpacked.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/launch_driver.h"
#include "tests/support/scoped_variable.h"
#include "tests/support/test_support.h"

namespace {

std::wstring app_launcher() { return launcher_path(L"app_launcher"); }

// The short 8.3 spelling of an existing path, or empty when it has none.
std::wstring short_spelling(const std::wstring& path) {
  wchar_t spelled[MAX_PATH];
  DWORD length = GetShortPathNameW(path.c_str(), spelled, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? L"" : std::wstring(spelled, length);
}

}  // namespace

TEST(Role, ALiveIdenticalCopyAtAnotherPathIsAnotherProgram) {
  std::wstring scratch = scratch_directory(L"copy");
  std::wstring copy = scratch + L"\\copy.exe";
  ASSERT_TRUE(CopyFileW(app_launcher().c_str(), copy.c_str(), FALSE)) << GetLastError();
  std::wstring ready = scratch + L"\\ready", release = scratch + L"\\release";
  Launch first = start_launcher(copy, L"copy", L"ready=" + ready + L";wait_file=" + release);
  ASSERT_TRUE(wait_for_file(ready, 30000));

  std::wstring report_path = scratch + L"\\report";
  LaunchResult second;
  {
    ScopedVariable parent(L"VELDOR_ONEFILE_PARENT", std::to_wstring(first.process_id).c_str());
    second = run_launcher(app_launcher(), L"tool", L"report=" + report_path);
  }
  CloseHandle(CreateFileW(release.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  EXPECT_EQ(finish_launch(&first).exit_code, 0u);

  EXPECT_EQ(second.exit_code, 0u) << second.output;
  EXPECT_EQ(field(read_report(report_path), L"VELDOR_ONEFILE_PARENT"),
            std::to_wstring(second.process_id));
  DeleteFileW(copy.c_str());
}

TEST(Role, ALiveLauncherThatIsNoAncestorMakesNoChild) {
  // The variable names a running launcher of the very same file, but not one
  // that this process descends from: the environment alone, which any
  // program can set, must not turn an elevated launcher into one that loads
  // code from a directory the environment names.
  std::wstring scratch = scratch_directory(L"stranger");
  std::wstring ready = scratch + L"\\ready", release = scratch + L"\\release";
  Launch first = start_launcher(app_launcher(), L"tool", L"ready=" + ready + L";wait_file=" + release);
  ASSERT_TRUE(wait_for_file(ready, 30000));

  std::wstring report_path = scratch + L"\\report";
  LaunchResult second;
  {
    ScopedVariable parent(L"VELDOR_ONEFILE_PARENT", std::to_wstring(first.process_id).c_str());
    ScopedVariable time_us(L"VELDOR_ONEFILE_TIME_US", L"000001");
    ScopedVariable random(L"VELDOR_ONEFILE_RANDOM", L"planted");
    second = run_launcher(app_launcher(), L"tool", L"report=" + report_path);
  }
  CloseHandle(CreateFileW(release.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  EXPECT_EQ(finish_launch(&first).exit_code, 0u);

  EXPECT_EQ(second.exit_code, 0u) << second.output;
  Report report = read_report(report_path);
  EXPECT_EQ(field(report, L"VELDOR_ONEFILE_PARENT"), std::to_wstring(second.process_id));
  EXPECT_NE(field(report, L"VELDOR_ONEFILE_RANDOM"), L"planted");
}

TEST(Role, ChildKnowsItsParentWhateverSpellingStartedIt) {
  // Started by a short spelling of its path, the parent starts the child by
  // the path the system reports; both must still see one executable, or the
  // child would unpack and start a child of its own.
  std::wstring scratch = scratch_directory(L"spelling");
  std::wstring long_directory = scratch + L"\\A directory with a long name";
  CreateDirectoryW(long_directory.c_str(), nullptr);
  std::wstring launcher = long_directory + L"\\application launcher.exe";
  ASSERT_TRUE(CopyFileW(app_launcher().c_str(), launcher.c_str(), FALSE)) << GetLastError();
  std::wstring spelled = short_spelling(launcher);
  if (spelled.empty() || spelled == launcher) GTEST_SKIP() << "this volume keeps no short names";

  std::wstring report_path = scratch + L"\\report";
  LaunchResult result = run_launcher(spelled, L"tool", L"report=" + report_path);
  EXPECT_EQ(result.exit_code, 0u) << result.output;
  Report report = read_report(report_path);
  EXPECT_EQ(field(report, L"VELDOR_ONEFILE_PARENT"), std::to_wstring(result.process_id));
  EXPECT_EQ(field(report, L"parent_pid"), std::to_wstring(result.process_id));
  DeleteFileW(launcher.c_str());
}

TEST(Role, TheApplicationStartingItsOwnExecutableReusesTheRunningDirectory) {
  // A worker, a restart or a helper: the application starts the executable
  // it runs in, which inherits the launch's environment.
  std::wstring scratch = scratch_directory(L"again");
  std::wstring report_path = scratch + L"\\report", again_path = scratch + L"\\again";
  LaunchResult result =
      run_launcher(app_launcher(), L"tool", L"report=" + report_path + L";again=" + again_path);
  EXPECT_EQ(result.exit_code, 0u) << result.output;
  Report first = read_report(report_path);
  Report again = read_report(again_path);
  // Started by the application, it ran the application itself, from the
  // same directory, as a loading child of the same launch: nothing was
  // unpacked a second time.
  EXPECT_EQ(field(again, L"parent_pid"), field(first, L"pid"));
  EXPECT_EQ(field(again, L"VELDOR_ONEFILE_PARENT"), std::to_wstring(result.process_id));
  EXPECT_EQ(field(again, L"library_path"), field(first, L"library_path"));
  EXPECT_EQ(field(again, L"files"), field(first, L"files"));
  EXPECT_EQ(leftover_target_directories(result.process_id), 0);
}
