#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "launcher/leftover_sweep_testing.h"
#include "tests/support/launch_driver.h"
#include "tests/support/process_runner.h"
#include "tests/support/test_support.h"
#include "tests/support/unix_links.h"

namespace {

TreeDeletion sweep_walk;

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// A directory with a file inside, as a launch leaves its tree.
void make_tree(const std::wstring& path) {
  ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << narrow(path) << " " << GetLastError();
  write_whole_file(path + L"\\app.dll", "");
}

// The id of a process that surely ended: one started here and waited for.
DWORD ended_process_id() { return run_program(L"cmd /c exit 0").process_id; }

std::wstring target_name(DWORD process_id, const wchar_t* random) {
  return L"onefile_" + std::to_wstring(process_id) + L"_123456_" + random;
}

}  // namespace

TEST(LeftoverSweep, OnlyNamesThatTheTargetSpecMakesCount) {
  const struct {
    const wchar_t* name;
    DWORD process_id;
  } cases[] = {
      {L"onefile_1234_073911_IQHFT9HQGrI", 1234},
      {L"onefile_4294967295_000000_-_-_-_-_-_-", 4294967295u},
      {L"onefile_abc", 0},
      {L"onefile_1234_073911_IQHFT9HQGr", 0},     // random part one short
      {L"onefile_1234_073911_IQHFT9HQGrIx", 0},   // one long
      {L"onefile_1234_073911_IQHFT9HQG.I", 0},    // outside the alphabet
      {L"onefile_1234_07391_IQHFT9HQGrI", 0},     // five digits of time
      {L"onefile_1234_0739111_IQHFT9HQGrI", 0},
      {L"onefile_01234_073911_IQHFT9HQGrI", 0},   // never written with a zero
      {L"onefile_0_073911_IQHFT9HQGrI", 0},
      {L"onefile_4294967296_073911_IQHFT9HQGrI", 0},
      {L"onefile__073911_IQHFT9HQGrI", 0},
      {L"Onefile_1234_073911_IQHFT9HQGrI", 0},
      {L"xonefile_1234_073911_IQHFT9HQGrI", 0},
      {L"onefile_1234_073911_IQHFT9HQGrI.old", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(target_directory_process_id(c.name), c.process_id) << narrow(c.name);
  }
}

TEST(LeftoverSweep, DeletesTheTreesOfEndedLaunchesAndTouchesNothingElse) {
  std::wstring directory = fresh_link_scratch_directory(L"sweep");
  DWORD ended = ended_process_id();
  std::wstring leftover = directory + L"\\" + target_name(ended, L"Leftover_01");
  std::wstring own = directory + L"\\" + target_name(ended, L"OwnLaunch_1");
  std::wstring live = directory + L"\\" + target_name(GetCurrentProcessId(), L"LiveLaunch1");
  std::wstring look_alike = directory + L"\\onefile_abc";
  std::wstring file_like_a_leftover = directory + L"\\" + target_name(ended, L"JustAFile_1");
  std::wstring link_like_a_leftover = directory + L"\\" + target_name(ended, L"LinkedAway1");
  std::wstring linked_away = fresh_link_scratch_directory(L"sweep_linked");
  make_tree(leftover);
  make_tree(own);
  make_tree(live);
  make_tree(look_alike);
  write_whole_file(file_like_a_leftover, "");
  write_whole_file(linked_away + L"\\keep.txt", "");
  ASSERT_TRUE(make_unix_symlink(linked_away, link_like_a_leftover));

  EXPECT_EQ(sweep_leftovers(directory.c_str(), target_name(ended, L"OwnLaunch_1").c_str(),
                            &sweep_walk),
            1);
  EXPECT_FALSE(path_exists(leftover));
  for (const std::wstring& kept : {own + L"\\app.dll", live + L"\\app.dll",
                                   look_alike + L"\\app.dll", file_like_a_leftover,
                                   link_like_a_leftover, linked_away + L"\\keep.txt"}) {
    EXPECT_TRUE(path_exists(kept)) << narrow(kept);
  }
  remove_unix_tree(directory);
  remove_unix_tree(linked_away);
}

TEST(LeftoverSweep, DeletesABoundedNumberOfLeftoversPerLaunch) {
  std::wstring directory = fresh_link_scratch_directory(L"sweep_bound");
  DWORD ended = ended_process_id();
  const int leftovers = 20;
  for (int i = 0; i < leftovers; ++i) {
    std::wstring random = (i < 10 ? L"Leftover_0" : L"Leftover_") + std::to_wstring(i);
    make_tree(directory + L"\\" + target_name(ended, random.c_str()));
  }
  int first = sweep_leftovers(directory.c_str(), L"", &sweep_walk);
  EXPECT_GT(first, 0);
  EXPECT_LT(first, leftovers);
  EXPECT_EQ(sweep_leftovers(directory.c_str(), L"", &sweep_walk), leftovers - first);
  EXPECT_TRUE(RemoveDirectoryW(directory.c_str())) << GetLastError();
}
