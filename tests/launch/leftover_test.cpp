// What a launch leaves behind when it cannot finish its own clean-up, and
// how the next launch sweeps it. Each test gives its launches a temporary
// directory of their own, so that the sweeps of launches in other tests
// neither help nor hide anything here.
#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "tests/launch/waiting_application.h"
#include "tests/support/launch_driver.h"
#include "tests/support/process_runner.h"
#include "tests/support/scoped_variable.h"
#include "tests/support/test_support.h"
#include "tests/support/unix_links.h"

namespace {

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Points TMP and TEMP, which the launcher's temporary directory comes from,
// at a fresh directory while the test runs.
class PrivateTemporaryDirectory {
 public:
  explicit PrivateTemporaryDirectory(const wchar_t* tag)
      : path_(fresh_link_scratch_directory((std::wstring(L"leftovers_") + tag).c_str())),
        tmp_(L"TMP", path_.c_str()),
        temp_(L"TEMP", path_.c_str()) {}
  ~PrivateTemporaryDirectory() { remove_unix_tree(path_); }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  ScopedVariable tmp_;
  ScopedVariable temp_;
};

LaunchResult run_plain_launch() {
  return run_launcher(launcher_path(L"app_launcher"), L"tool", L"exit=0");
}

std::wstring target_name(DWORD process_id, const wchar_t* random) {
  return L"onefile_" + std::to_wstring(process_id) + L"_123456_" + random;
}

}  // namespace

TEST(Leftovers, AKilledParentTakesTheApplicationAlongAndTheNextLaunchSweepsItsTree) {
  PrivateTemporaryDirectory temporary(L"killed");
  WaitingApplication waiting = start_waiting_application(temporary.path());
  ASSERT_NE(waiting.application, nullptr);
  std::wstring directory = waiting.target_directory;

  // As the task manager ends a process: no clean-up of its own can run.
  ASSERT_TRUE(TerminateProcess(waiting.launch.process, 9)) << GetLastError();
  finish_launch(&waiting.launch, 10000);
  EXPECT_TRUE(application_ends(&waiting, 10000)) << "the application outlived its launcher";
  EXPECT_TRUE(path_exists(directory)) << "the killed launcher deleted its tree after all?";

  LaunchResult next = run_plain_launch();
  EXPECT_EQ(next.exit_code, 0u) << next.output;
  EXPECT_FALSE(path_exists(directory)) << "left behind: " << narrow(directory);
}

TEST(Leftovers, RecordPathsFarBeyondTheClassicLimitAreDeletedAfterTheRun) {
  PrivateTemporaryDirectory temporary(L"long");
  // The launch's current directory, which a failed deletion once emptied.
  std::wstring current = temporary.path() + L"\\current";
  CreateDirectoryW(current.c_str(), nullptr);
  write_whole_file(current + L"\\stays.txt", "content");
  std::wstring report_path = current + L"\\report";
  Launch launch = start_launcher(launcher_path(L"long_paths_launcher"), L"tool",
                                 L"report=" + report_path, current);
  LaunchResult result = finish_launch(&launch);
  EXPECT_EQ(result.exit_code, 0u) << result.output;
  Report report = read_report(report_path);
  std::wstring directory = reported_target_directory(report);
  std::wstring files = field(report, L"files");
  // Both long records were unpacked (the report names them by their path
  // below the directory) and are gone now.
  EXPECT_NE(files.find(L"\\" + std::wstring(177, L'd') + L".txt"), std::wstring::npos)
      << narrow(files);
  EXPECT_NE(files.find(L"\\" + std::wstring(50, L'b') + L".txt"), std::wstring::npos)
      << narrow(files);
  EXPECT_FALSE(directory.empty());
  EXPECT_FALSE(path_exists(directory)) << "left behind: " << narrow(directory);
  EXPECT_EQ(leftover_target_directories(result.process_id), 0);
  EXPECT_TRUE(path_exists(current + L"\\stays.txt"));
}

TEST(Leftovers, ADamagedRunLeavesItsTreeToTheNextLaunch) {
  PrivateTemporaryDirectory temporary(L"damaged");
  LaunchResult damaged = run_launcher(launcher_path(L"damaged_launcher"), L"tool", L"exit=0");
  EXPECT_EQ(damaged.exit_code, 2u) << damaged.output;
  EXPECT_EQ(leftover_target_directories(damaged.process_id), 1) << damaged.output;

  LaunchResult next = run_plain_launch();
  EXPECT_EQ(next.exit_code, 0u) << next.output;
  EXPECT_EQ(leftover_target_directories(damaged.process_id), 0);
}

// A leftover holds links to a directory outside it: the sweep takes the
// leftover's files and never anything the links point to. Under Wine the
// links themselves, and so the leftover's directory, stay: Wine removes no
// Unix link through Win32 calls. Names that merely resemble a leftover's
// are never touched.
TEST(Leftovers, TheSweepFollowsNoLinkAndLeavesLookAlikesAlone) {
  PrivateTemporaryDirectory temporary(L"look_alikes");
  std::wstring outside = fresh_link_scratch_directory(L"leftovers_outside");
  write_whole_file(outside + L"\\keep.txt", "content");
  DWORD ended = run_program(L"cmd /c exit 0").process_id;
  std::wstring base = temporary.path() + L"\\";
  std::wstring leftover = base + target_name(ended, L"Leftover_01");
  CreateDirectoryW(leftover.c_str(), nullptr);
  CreateDirectoryW((leftover + L"\\data").c_str(), nullptr);
  write_whole_file(leftover + L"\\app.dll", "content");
  write_whole_file(leftover + L"\\data\\readme.txt", "content");
  ASSERT_TRUE(make_unix_symlink(outside, leftover + L"\\data\\outside_link"));
  ASSERT_TRUE(make_unix_symlink(outside + L"\\keep.txt", leftover + L"\\keep_link.txt"));

  std::wstring look_alike = base + L"onefile_abc";
  std::wstring file_like_a_leftover = base + target_name(ended, L"JustAFile_1");
  std::wstring live = base + target_name(GetCurrentProcessId(), L"LiveLaunch1");
  for (const std::wstring& directory : {look_alike, live}) {
    CreateDirectoryW(directory.c_str(), nullptr);
    write_whole_file(directory + L"\\app.dll", "content");
  }
  write_whole_file(file_like_a_leftover, "content");

  LaunchResult next = run_plain_launch();
  EXPECT_EQ(next.exit_code, 0u) << next.output;
  EXPECT_FALSE(path_exists(leftover + L"\\app.dll"));
  EXPECT_FALSE(path_exists(leftover + L"\\data\\readme.txt"));
  EXPECT_TRUE(path_exists(outside + L"\\keep.txt"));
  for (const std::wstring& kept :
       {look_alike + L"\\app.dll", live + L"\\app.dll", file_like_a_leftover}) {
    EXPECT_TRUE(path_exists(kept)) << narrow(kept);
  }
  std::cout << "the leftover's directory " << (path_exists(leftover) ? "stays" : "is gone")
            << " after the sweep\n";
  remove_unix_tree(outside);
}
